import java.io.File;
import java.io.PrintWriter;
import java.lang.reflect.Constructor;
import java.lang.reflect.Executable;
import java.lang.reflect.Method;
import java.lang.reflect.Modifier;
import java.net.URL;
import java.net.URLClassLoader;
import java.nio.charset.StandardCharsets;
import java.util.ArrayList;
import java.util.List;

/**
 * Writes the JNI view of compiled classes as C++ data: for each class its name,
 * superclass and methods (name, JNI descriptor, static, native), so native code
 * and its test doubles are checked against the Java declarations.
 *
 * Usage: JniSignatures <classes dir> <output .inc> <class name>...
 */
public final class JniSignatures {
    public static void main(String[] args) throws Exception {
        URLClassLoader loader = new URLClassLoader(new URL[] {new File(args[0]).toURI().toURL()}, null);
        try (PrintWriter out = new PrintWriter(args[1], StandardCharsets.UTF_8.name())) {
            out.println("// Generated from the compiled Java classes; do not edit.");
            for (int i = 2; i < args.length; i++) {
                Class<?> type = Class.forName(args[i], false, loader);
                writeClass(out, type);
            }
        }
    }

    private static void writeClass(PrintWriter out, Class<?> type) {
        Class<?> parent = type.getSuperclass();
        out.printf("JAVA_CLASS(\"%s\", \"%s\")%n", internal(type), parent == null ? "" : internal(parent));
        List<Executable> members = new ArrayList<>();
        for (Constructor<?> c : type.getDeclaredConstructors()) members.add(c);
        for (Method m : type.getDeclaredMethods()) if (!m.isSynthetic()) members.add(m);
        for (Executable member : members) {
            boolean isConstructor = member instanceof Constructor;
            String name = isConstructor ? "<init>" : member.getName();
            String result = isConstructor ? "V" : descriptor(((Method) member).getReturnType());
            StringBuilder signature = new StringBuilder("(");
            for (Class<?> p : member.getParameterTypes()) signature.append(descriptor(p));
            signature.append(')').append(result);
            int modifiers = member.getModifiers();
            out.printf("JAVA_METHOD(\"%s\", \"%s\", %s, %s)%n", name, signature,
                    Modifier.isStatic(modifiers), Modifier.isNative(modifiers));
        }
        out.println("JAVA_CLASS_END()");
    }

    private static String internal(Class<?> type) {
        return type.getName().replace('.', '/');
    }

    private static String descriptor(Class<?> type) {
        if (type.isArray()) return "[" + descriptor(type.getComponentType());
        if (type == void.class) return "V";
        if (type == boolean.class) return "Z";
        if (type == byte.class) return "B";
        if (type == char.class) return "C";
        if (type == short.class) return "S";
        if (type == int.class) return "I";
        if (type == long.class) return "J";
        if (type == float.class) return "F";
        if (type == double.class) return "D";
        return "L" + internal(type) + ";";
    }
}
