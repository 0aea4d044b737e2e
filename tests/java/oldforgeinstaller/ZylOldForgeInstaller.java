// Stand-in for an old Forge installer (1.6 to 1.12 era): it only knows its
// graphical mode, so a headless "--installClient" run fails the way the real
// one does (an unrecognised option, exit code 1). Its jar carries
// install_profile.json with "versionInfo" and "install" and the universal jar.
public class ZylOldForgeInstaller {
    public static void main(String[] args) {
        for (String a : args)
            System.out.println("ARG " + a);
        if (args.length > 0) {
            System.out.println(
                "Exception in thread \"main\" joptsimple.UnrecognizedOptionException: " +
                args[0].replaceFirst("^--", "") + " is not a recognized option");
            System.exit(1);
        }
        System.out.println("This installer needs a display");
        System.exit(1);
    }
}
