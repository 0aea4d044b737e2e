// Stand-in for the game's client jar: prints what the launcher handed it and
// exits with the code the test asks for, so launch tests run a real JVM.
package net.minecraft.client.main;

public class Main {
    // System properties worth seeing in launch tests.
    private static final String[] PROPS = {
        "java.library.path", "log4j.configurationFile", "minecraft.launcher.brand",
        "minecraft.launcher.version", "minecraft.client.jar", "user.dir",
        "file.encoding", "stdout.encoding", "os.name"
    };

    public static void main(String[] args) {
        int exit = 0;
        String env = System.getenv("ZYL_STUB_EXIT");
        if (env != null && !env.isEmpty()) exit = parse(env, exit);
        for (int i = 0; i < args.length; i++) {
            System.out.println("ARG " + args[i]);
            if (args[i].equals("--exit") && i + 1 < args.length) exit = parse(args[i + 1], exit);
        }
        System.out.println("CLASSPATH " + System.getProperty("java.class.path"));
        for (String p : PROPS) {
            String v = System.getProperty(p);
            if (v != null) System.out.println("PROP " + p + "=" + v);
        }
        // Anything a test passes as -Dzyl.<name>=<value>, in name order.
        java.util.TreeSet<String> names = new java.util.TreeSet<String>();
        for (Object k : System.getProperties().keySet()) {
            if (k.toString().startsWith("zyl.")) names.add(k.toString());
        }
        for (String n : names) System.out.println("PROP " + n + "=" + System.getProperty(n));
        System.out.println("JAVA " + System.getProperty("java.version"));
        System.out.flush();
        // ZYL_STUB_HOLD names a file: the game keeps running until it exists
        // (at most two minutes), so a test can look at the launcher meanwhile.
        String hold = System.getenv("ZYL_STUB_HOLD");
        if (hold != null && !hold.isEmpty()) {
            System.out.println("HOLD " + hold);
            System.out.flush();
            java.io.File f = new java.io.File(hold);
            for (int i = 0; i < 2400 && !f.exists(); i++) {
                try {
                    Thread.sleep(50);
                } catch (InterruptedException e) {
                    break;
                }
            }
        }
        System.exit(exit);
    }

    private static int parse(String s, int fallback) {
        try {
            return Integer.parseInt(s.trim());
        } catch (NumberFormatException e) {
            return fallback;
        }
    }
}
