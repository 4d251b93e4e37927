package orlesk.tavrin;

import java.io.ByteArrayOutputStream;
import java.io.IOException;
import java.io.InputStream;
import java.lang.reflect.Method;

/**
 * Bootstrap class started by the launcher. The application's classes are stored
 * scrambled; the launcher's native defineClass restores and defines them.
 */
public final class SecureLauncher {
    private SecureLauncher() {
    }

    /** Restores the stored bytes in place; defines the class when a loader is given, else returns null. */
    public static native Class<?> defineClass(String name, byte[] bytes, int offset, int length,
            ClassLoader loader);

    public static void main(String[] args) throws Exception {
        String mainClass = System.getProperty("tavrin.mainClass", "orlesk.tavrin.StdLauncher");
        ClassLoader loader = new ScrambledClassLoader(SecureLauncher.class.getClassLoader());
        Method main = loader.loadClass(mainClass).getMethod("main", String[].class);
        main.invoke(null, (Object) args);
    }

    /** Loads "name.sclass" resources (scrambled class files) through the native. */
    private static final class ScrambledClassLoader extends ClassLoader {
        ScrambledClassLoader(ClassLoader parent) {
            super(parent);
        }

        @Override
        protected Class<?> findClass(String name) throws ClassNotFoundException {
            String internalName = name.replace('.', '/');
            byte[] bytes = readResource(internalName + ".sclass");
            if (bytes == null) {
                throw new ClassNotFoundException(name);
            }
            return SecureLauncher.defineClass(internalName, bytes, 0, bytes.length, this);
        }

        private byte[] readResource(String path) {
            try (InputStream in = getParent().getResourceAsStream(path)) {
                if (in == null) {
                    return null;
                }
                ByteArrayOutputStream out = new ByteArrayOutputStream();
                byte[] chunk = new byte[8192];
                for (int n; (n = in.read(chunk)) > 0;) {
                    out.write(chunk, 0, n);
                }
                return out.toByteArray();
            } catch (IOException e) {
                return null;
            }
        }
    }
}
