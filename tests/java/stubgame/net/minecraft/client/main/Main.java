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
        // ZYL_STUB_SCENARIO names a properties file, read when it exists, so
        // one launcher run can play several different games:
        //   output=<file>        printed to standard output (a game's log)
        //   crash_report=<file>  copied to crash-reports/crash-<time>-client.txt
        //   hs_err=<file>        copied to hs_err_pid<pid>.log
        //   child=1              starts a process that outlives a killed game
        //   hold=<file>          as ZYL_STUB_HOLD
        //   ready=<file>         as ZYL_STUB_READY
        //   exit=<code>
        java.util.Properties plan = scenario();
        String out = plan.getProperty("output");
        if (out != null) System.out.print(readText(out));
        String report = plan.getProperty("crash_report");
        if (report != null) {
            String when = new java.text.SimpleDateFormat("yyyy-MM-dd_HH.mm.ss").format(new java.util.Date());
            copy(report, "crash-reports/crash-" + when + "-client.txt");
        }
        String pid = java.lang.management.ManagementFactory.getRuntimeMXBean().getName().split("@")[0];
        System.out.println("PID " + pid);
        String hsErr = plan.getProperty("hs_err");
        if (hsErr != null) copy(hsErr, "hs_err_pid" + pid + ".log");
        if ("1".equals(plan.getProperty("child"))) {
            try {
                // Prints its own id; shares the game's output and process group.
                new ProcessBuilder("sh", "-c", "echo CHILD $$; exec sleep 600")
                    .redirectOutput(ProcessBuilder.Redirect.INHERIT)
                    .redirectErrorStream(true)
                    .start();
            } catch (java.io.IOException e) {
                System.out.println("CHILD failed " + e);
            }
        }
        if (plan.getProperty("exit") != null) exit = parse(plan.getProperty("exit"), exit);
        // ZYL_STUB_HOLD names a file: the game keeps running until it exists
        // (at most two minutes), so a test can look at the launcher meanwhile.
        String hold = plan.getProperty("hold", System.getenv("ZYL_STUB_HOLD"));
        if (hold != null && !hold.isEmpty()) {
            System.out.println("HOLD " + hold);
            System.out.flush();
            // ZYL_STUB_READY names a file written with our process id once we hold.
            String ready = plan.getProperty("ready", System.getenv("ZYL_STUB_READY"));
            if (ready != null && !ready.isEmpty()) {
                try {
                    java.nio.file.Files.write(java.nio.file.Paths.get(ready),
                                              pid.getBytes(java.nio.charset.StandardCharsets.UTF_8));
                } catch (java.io.IOException e) {
                    System.out.println("READY failed " + e);
                }
            }
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

    private static java.util.Properties scenario() {
        java.util.Properties p = new java.util.Properties();
        String path = System.getenv("ZYL_STUB_SCENARIO");
        if (path == null || !new java.io.File(path).exists()) return p;
        try (java.io.Reader r = new java.io.InputStreamReader(
                 new java.io.FileInputStream(path), java.nio.charset.StandardCharsets.UTF_8)) {
            p.load(r);
        } catch (java.io.IOException e) {
            System.out.println("SCENARIO failed " + e);
        }
        return p;
    }

    private static String readText(String path) {
        try {
            byte[] b = java.nio.file.Files.readAllBytes(java.nio.file.Paths.get(path));
            return new String(b, java.nio.charset.StandardCharsets.UTF_8);
        } catch (java.io.IOException e) {
            return "SCENARIO failed " + e + "\n";
        }
    }

    // to is relative to the game directory (the working directory).
    private static void copy(String from, String to) {
        try {
            java.nio.file.Path dest = java.nio.file.Paths.get(System.getProperty("user.dir"), to);
            java.nio.file.Files.createDirectories(dest.getParent());
            java.nio.file.Files.copy(java.nio.file.Paths.get(from), dest,
                                     java.nio.file.StandardCopyOption.REPLACE_EXISTING);
        } catch (java.io.IOException e) {
            System.out.println("SCENARIO failed " + e);
        }
    }

    private static int parse(String s, int fallback) {
        try {
            return Integer.parseInt(s.trim());
        } catch (NumberFormatException e) {
            return fallback;
        }
    }
}
