// Stand-in for Quilt's launch class, carried by the fake quilt-loader jar:
// says it ran, then starts the game's main class as the real loader does.
package org.quiltmc.loader.impl.launch.knot;

public class KnotClient {
    public static void main(String[] args) throws Exception {
        System.out.println("LOADER " + KnotClient.class.getName());
        Class.forName("net.minecraft.client.main.Main")
            .getMethod("main", String[].class)
            .invoke(null, (Object) args);
    }
}
