// Runs the guide's Java recipe for each request line given, printing "<return value> <text>" in
// UTF-8, one line per call.
import java.io.PrintStream;
import java.nio.charset.StandardCharsets;

public final class Driver {
    public static void main(String[] args) throws Exception {
        PrintStream out = new PrintStream(System.out, true, StandardCharsets.UTF_8.name());
        for (String request : args) {
            String[] text = new String[1];
            int rc = Quendal.cardTrans(request, text);
            out.println(rc + " " + text[0]);
        }
    }
}
