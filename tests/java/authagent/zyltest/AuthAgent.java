// Stand-in for authlib-injector: a Java agent that records the server address
// it was given, so launch tests see that the game started with the agent.
package zyltest;

public class AuthAgent {
    public static void premain(String args) {
        String server = args == null ? "" : args;
        System.setProperty("zyl.authlib_injector", server);
        System.out.println("AUTHLIB " + server);
        System.out.flush();
    }

    // Lets a test run the jar on its own: prints what premain recorded.
    public static void main(String[] args) {
        System.out.println("AGENT " + System.getProperty("zyl.authlib_injector", "(none)"));
    }
}
