// Stand-in for a modern Forge or NeoForge installer jar: honours
// "--installClient <folder>" as the real one does (it needs
// launcher_profiles.json and the libraries its profile lists, writes the
// version document from its version.json and the patched client jar), and logs
// what it was given so tests can check the command line and working folder.
// ZYL_STUB_INSTALLER_EXIT makes it fail with that code before writing anything;
// ZYL_STUB_EXTRA_PROFILE makes it leave one more profile of that id.
import java.io.ByteArrayOutputStream;
import java.io.File;
import java.io.FileOutputStream;
import java.io.IOException;
import java.io.InputStream;
import java.nio.charset.StandardCharsets;
import java.util.regex.Matcher;
import java.util.regex.Pattern;

public class ZylForgeInstaller {
    public static void main(String[] args) throws IOException {
        for (String a : args)
            System.out.println("ARG " + a);
        System.out.println("CWD " + new File(System.getProperty("user.dir")).getCanonicalPath());
        System.out.println("RUNTIME " + System.getProperty("zyl.runtime", "system"));
        String fail = System.getenv("ZYL_STUB_INSTALLER_EXIT");
        if (fail != null && !fail.isEmpty()) System.exit(Integer.parseInt(fail));
        if (args.length != 2 || !args[0].equals("--installClient")) {
            System.out.println("usage: --installClient <folder>");
            System.exit(2);
        }
        File target = new File(args[1]);
        if (!new File(target, "launcher_profiles.json").isFile()) {
            System.out.println("There is no minecraft launcher profile in " + target);
            System.exit(1);
        }
        String profile = resource("/install_profile.json");
        Matcher m = Pattern.compile("\"path\"\\s*:\\s*\"([^\"]+)\"").matcher(profile);
        while (m.find()) {
            File lib = new File(target, "libraries/" + m.group(1));
            if (!lib.isFile()) {
                System.out.println("Missing library " + lib);
                System.exit(1);
            }
        }
        String version = resource("/version.json");
        Matcher id = Pattern.compile("\"id\"\\s*:\\s*\"([^\"]+)\"").matcher(version);
        if (!id.find()) {
            System.out.println("version.json has no id");
            System.exit(1);
        }
        String extra = System.getenv("ZYL_STUB_EXTRA_PROFILE");
        if (extra != null && !extra.isEmpty())
            write(new File(target, "versions/" + extra + "/" + extra + ".json"),
                  ("{\"id\":\"" + extra + "\",\"inheritsFrom\":\"1.20.1\"}")
                      .getBytes(StandardCharsets.UTF_8));
        Matcher patched =
            Pattern.compile("\"PATCHED\"\\s*:\\s*\\{\\s*\"client\"\\s*:\\s*\"\\[([^\\]]+)\\]\"")
                .matcher(profile);
        if (patched.find()) {
            File client = new File(target, "libraries/" + mavenPath(patched.group(1)));
            write(client, ("patched client " + patched.group(1)).getBytes(StandardCharsets.UTF_8));
            System.out.println("Patched client " + client);
        }
        File doc = new File(target, "versions/" + id.group(1) + "/" + id.group(1) + ".json");
        write(doc, version.getBytes(StandardCharsets.UTF_8));
        System.out.println("Installed " + id.group(1));
    }

    static String mavenPath(String coord) {
        String ext = "jar";
        int at = coord.indexOf('@');
        if (at >= 0) {
            ext = coord.substring(at + 1);
            coord = coord.substring(0, at);
        }
        String[] p = coord.split(":");
        String file = p[1] + "-" + p[2] + (p.length > 3 ? "-" + p[3] : "") + "." + ext;
        return p[0].replace('.', '/') + "/" + p[1] + "/" + p[2] + "/" + file;
    }

    static String resource(String name) throws IOException {
        InputStream in = ZylForgeInstaller.class.getResourceAsStream(name);
        if (in == null) {
            System.out.println("The installer has no " + name);
            System.exit(1);
        }
        ByteArrayOutputStream out = new ByteArrayOutputStream();
        byte[] buf = new byte[8192];
        for (int n; (n = in.read(buf)) > 0;)
            out.write(buf, 0, n);
        in.close();
        return new String(out.toByteArray(), StandardCharsets.UTF_8);
    }

    static void write(File f, byte[] data) throws IOException {
        f.getParentFile().mkdirs();
        FileOutputStream out = new FileOutputStream(f);
        out.write(data);
        out.close();
    }
}
