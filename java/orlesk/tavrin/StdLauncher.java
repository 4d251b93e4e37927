package orlesk.tavrin;

/** The application's main class, named to the bootstrap class by the tavrin.mainClass property. */
public final class StdLauncher {
    private StdLauncher() {
    }

    public static void main(String[] args) {
        System.out.println("Tavrin started" + (args.length > 0 ? " with catalog " + args[0] : ""));
    }
}
