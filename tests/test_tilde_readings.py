""""~>" and "~=" as each ecosystem's own tool reads them: npm's semver package
for the SemVer family, Elixir's Version.match? for hex, packaging for PEP 440
and Ruby's Gem::Requirement for ruby. Each tool runs once over every case."""

import itertools
import shutil
import subprocess

import pytest

from helpers import run_node_semver
from quorlen import range_simplify, satisfies

GRID = [f"{a}.{b}.{c}" for a, b, c in itertools.product(range(4), repeat=3)]
SHORT_GRID = [f"{a}.{b}" for a, b in itertools.product(range(4), repeat=2)]
OPERANDS = ["0", "1", "2", "0.2", "1.2", "2.0", "0.0.3", "1.2.3", "2.1.2", "0.2.0"]
SEMVER_FAMILY = ["npm", "semver", "crates", "swift", "dart", "julia", "helm"]


def cases(operands, versions, ops=("~>", "~=")):
    return [(v, op + x) for op in ops for x in operands for v in versions]


def compare_with(tool_answers, cases_, eco):
    wrong = [f"{v} in {r}: tool says {theirs}" for (v, r), theirs in zip(cases_, tool_answers)
             if satisfies(v, r, eco) is not theirs]
    assert not wrong, f"{len(wrong)} of {len(cases_)} disagree, e.g.:\n" + "\n".join(wrong[:10])


def run_tool(argv, cases_):
    if shutil.which(argv[0]) is None:
        pytest.skip(f"{argv[0]} is not installed")
    lines = "".join(f"{v}\t{r}\n" for v, r in cases_)
    done = subprocess.run(argv, input=lines, capture_output=True, text=True, timeout=600, check=True)
    answers = done.stdout.split()
    assert len(answers) == len(cases_)
    return [a == "true" for a in answers]


@pytest.mark.parametrize("eco", ["npm", "semver"])
def test_the_two_character_tildes_read_as_the_plain_one(eco):
    for op in ("~>", "~="):
        assert range_simplify(op + "1.2", eco) == ">=1.2.0,<1.3.0"
        assert range_simplify(op + "1", eco) == range_simplify("~1", eco)


@pytest.mark.parametrize("eco", SEMVER_FAMILY + ["hex"])
@pytest.mark.parametrize("op", ["~>", "~="])
def test_short_operands_are_padded_under_the_semver_family(eco, op):
    assert satisfies("1.2.9", op + "1.2", eco) is True
    assert satisfies("1.9.0", op + "1", eco) is True
    assert satisfies("0.9.9", op + "1", eco) is False


@pytest.mark.parametrize("eco", SEMVER_FAMILY)
def test_semver_family_matches_npm(eco):
    cases_ = cases(OPERANDS, GRID, ("~>", "~=", "~"))
    program = r"""
const semver = require(process.argv[1]);
let input = "";
process.stdin.on("data", (d) => (input += d));
process.stdin.on("end", () => {
  const job = JSON.parse(input);
  console.log(JSON.stringify(job.map(([v, r]) => semver.satisfies(v, r))));
});
"""
    compare_with(run_node_semver(program, cases_, timeout=300), cases_, eco)


HEX_VERSIONS = GRID + ["2.0.0-rc.1", "3.0.0-rc.1", "2.2.0-rc.0", "2.1.3-rc.0", "2.1.2-rc.0", "1.3.0-rc.1"]
ELIXIR = """
IO.stream(:stdio, :line)
|> Enum.each(fn line ->
  [v, r] = line |> String.trim_trailing("\\n") |> String.split("\\t")
  IO.puts(Version.match?(v, String.replace(r, "~>", "~> ")))
end)
"""


def test_hex_matches_elixir():
    # Elixir refuses a single number after "~>"; the padded reading is checked
    # above.
    cases_ = cases([x for x in OPERANDS if "." in x] + ["2.1.2-rc.0"], HEX_VERSIONS, ("~>",))
    compare_with(run_tool(["elixir", "-e", ELIXIR], cases_), cases_, "hex")
    assert range_simplify("~>2", "hex") == range_simplify("~>2.0", "hex")


PEP440_VERSIONS = GRID + SHORT_GRID + ["1.2.3.1", "1.2.4.0", "2.2.post3", "2.9", "3.0", "1.4.5a4", "1.4.9", "1.5.0"]


def test_pep440_matches_packaging():
    specifiers = pytest.importorskip("packaging.specifiers")
    operands = [x for x in OPERANDS if "." in x] + ["1.2.3.1", "2.2.post3", "1.4.5a4"]
    cases_ = cases(operands, PEP440_VERSIONS, ("~=",))
    theirs = [specifiers.SpecifierSet(r).contains(v, prereleases=True) for v, r in cases_]
    compare_with(theirs, cases_, "pep440")


RUBY = """
STDIN.each_line do |line|
  v, r = line.chomp.split("\\t")
  puts Gem::Requirement.new(r.sub("~>", "~> ")).satisfied_by?(Gem::Version.new(v))
end
"""


def test_ruby_matches_gem_requirement():
    cases_ = cases(OPERANDS, GRID + SHORT_GRID, ("~>",))
    compare_with(run_tool(["ruby", "-e", RUBY], cases_), cases_, "ruby")

