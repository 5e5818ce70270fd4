// Reads pairs of versions, one pair a line separated by a tab, and prints the
// sign (-1, 0, 1) of their order under Maven's own comparison, one a line; a
// line without a tab is one version, answered by its canonical text.
// Used by tests/test_maven_differential.py as a reference.
import java.io.BufferedReader;
import java.io.BufferedWriter;
import java.io.InputStreamReader;
import java.io.OutputStreamWriter;
import java.nio.charset.StandardCharsets;
import org.apache.maven.artifact.versioning.ComparableVersion;

public final class MavenOrder {
    public static void main(String[] args) throws Exception {
        BufferedReader in = new BufferedReader(new InputStreamReader(System.in, StandardCharsets.UTF_8));
        BufferedWriter out = new BufferedWriter(new OutputStreamWriter(System.out, StandardCharsets.UTF_8));
        String line;
        while ((line = in.readLine()) != null) {
            int tab = line.indexOf('\t');
            if (tab < 0) {
                out.write(new ComparableVersion(line).getCanonical());
                out.newLine();
                continue;
            }
            int c = new ComparableVersion(line.substring(0, tab)).compareTo(new ComparableVersion(line.substring(tab + 1)));
            out.write(Integer.toString(Integer.signum(c)));
            out.newLine();
        }
        out.flush();
    }
}
