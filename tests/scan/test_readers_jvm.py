import re

import pytest
from shared_lockfiles import assert_error, line_of, read_text, shared, shared_file, short_id

from quorlen.scan.model import PATH, REGISTRY
from quorlen.scan.readers import read_file, reader_for


@pytest.mark.parametrize("path", shared("gradle"))
def test_every_line_of_the_real_gradle_lockfile(path):
    text = path.read_text()
    expected = re.findall(r"(?m)^([^#=\s:]+:[^:=\s]+):([^:=\s]+)=", text)
    packages = read_file(str(path))
    assert [(p.name, p.version) for p in packages] == expected
    for p in packages:
        assert line_of(path, p.line).startswith(f"{p.name}:{p.version}=") and p.ecosystem == "Maven"


def test_hand_checked_gradle_entry():
    packages = read_file(str(shared_file("gradle", "e33ebdd")))
    assert ("org.yaml:snakeyaml", "2.2", 71) in {(p.name, p.version, p.line) for p in packages}


# Hand-checked: (name, version, line) of each dependency the build uses, in file order. jsoup's
# org.jsoup:jsoup 1.14.2 inside the japicmp plugin's configuration is not one of them; petclinic's
# Spring Boot versions come from the parent POM, which is not in the file.
POMS = {
    "9ce6ae1": [("org.junit.jupiter:junit-jupiter", "5.8.1", 301), ("com.google.code.gson:gson", "2.8.8", 308),
                ("org.eclipse.jetty:jetty-server", "9.4.44.v20210927", 316),
                ("org.eclipse.jetty:jetty-servlet", "9.4.43.v20210629", 324),
                ("com.google.code.findbugs:jsr305", "3.0.2", 332)],
    "eef57ab": [(f"org.springframework.boot:spring-boot-starter-{a}", None, line) for a, line in (
                    ("actuator", 36), ("cache", 40), ("data-jpa", 44), ("web", 48), ("thymeleaf", 52),
                    ("test", 56))] + [
                ("org.hsqldb:hsqldb", None, 63), ("mysql:mysql-connector-java", None, 68),
                ("javax.cache:cache-api", None, 75), ("org.ehcache:ehcache", None, 79),
                ("org.webjars:webjars-locator-core", None, 85), ("org.webjars:jquery", "2.2.4", 89),
                ("org.webjars:jquery-ui", "1.11.4", 94), ("org.webjars:bootstrap", "3.3.6", 99),
                ("org.springframework.boot:spring-boot-devtools", None, 106),
                ("org.webjars:bootstrap", "3.3.6", 198),
                ("org.mockito:mockito-core", None, 203)],  # ${mockito.version} is defined in the parent
}


@pytest.mark.parametrize("path", shared("maven"))
def test_the_real_poms(path):
    packages = read_file(str(path))
    assert [(p.name, p.version, p.line) for p in packages] == POMS[path.name.split("__")[2]]
    assert all(p.requirement is None and p.source == REGISTRY for p in packages)


POM = """<?xml version="1.0"?>
<project xmlns="http://maven.apache.org/POM/4.0.0">
  <parent><groupId>org.example</groupId><artifactId>parent</artifactId><version>3.0</version></parent>
  <artifactId>app</artifactId>
  <properties>
    <lib.version>${base.version}.1</lib.version>
    <base.version>2.4</base.version>
    <loop>${loop}</loop>
  </properties>
  <dependencyManagement>
    <dependencies>
      <dependency><groupId>org.managed</groupId><artifactId>m</artifactId><version>5.0</version></dependency>
    </dependencies>
  </dependencyManagement>
  <dependencies>
    <dependency><groupId>${project.groupId}</groupId><artifactId>sibling</artifactId>
      <version>${project.version}</version></dependency>
    <dependency><groupId>org.lib</groupId><artifactId>lib</artifactId><version>${lib.version}</version></dependency>
    <dependency><groupId>org.range</groupId><artifactId>r</artifactId><version>[1.0,2.0)</version></dependency>
    <dependency><groupId>org.pin</groupId><artifactId>p</artifactId><version>[1.5]</version></dependency>
    <dependency><groupId>org.managed</groupId><artifactId>m</artifactId></dependency>
    <dependency><groupId>org.loop</groupId><artifactId>l</artifactId><version>${loop}</version></dependency>
    <dependency><groupId>org.sys</groupId><artifactId>s</artifactId><version>1.0</version>
      <scope>system</scope><systemPath>/opt/s.jar</systemPath></dependency>
  </dependencies>
  <profiles><profile><dependencies>
    <dependency><groupId>org.profile</groupId><artifactId>p</artifactId><version>0.9</version></dependency>
  </dependencies></profile></profiles>
</project>
"""


def test_properties_ranges_and_management(tmp_path):
    got = [(p.name, p.version, p.requirement, p.source, p.line) for p in read_text(tmp_path, "pom.xml", POM)]
    assert got == [
        ("org.managed:m", "5.0", None, REGISTRY, 12),
        ("org.example:sibling", "3.0", None, REGISTRY, 16),  # the parent's group and version are inherited
        ("org.lib:lib", "2.4.1", None, REGISTRY, 18),
        ("org.range:r", None, "[1.0,2.0)", REGISTRY, 19),
        ("org.pin:p", "1.5", None, REGISTRY, 20),
        ("org.managed:m", "5.0", None, REGISTRY, 21),
        ("org.loop:l", None, None, REGISTRY, 22),
        ("org.sys:s", "1.0", None, PATH, 23),
        ("org.profile:p", "0.9", None, REGISTRY, 27),
    ]


@pytest.mark.parametrize("name, text, line", [
    ("gradle.lockfile", "# comment\na:b:1.0=compileClasspath\na:b=runtimeClasspath\n", 3),
    ("gradle.lockfile", "a:b:c:1.0=x\n", 1),
    ("pom.xml", "<project>\n  <dependencies>\n    <dependency><groupId>a</groupId>", 3),  # truncated
    ("pom.xml", "<project>\n<dependencies>\n<dependency><version>1</version></dependency>\n</dependencies>"
                "\n</project>", 3),                                                     # no coordinates
    ("pom.xml", "<project>\n<a></b>\n</project>", 2),
    ("pom.xml", "<settings/>", 1),
    ("pom.xml", "", 1),
    ("pom.xml", '<?xml version="1.0"?>\n<!DOCTYPE project [\n<!ENTITY a "aaaaaaaaaa">\n'
                '<!ENTITY b "&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;">\n]>\n<project>&b;</project>', 2),  # entity bomb
    ("pom.xml", '<!DOCTYPE project SYSTEM "http://127.0.0.1:1/x.dtd">\n<project/>', 1),      # external DTD
    ("pom.xml", "<project>" + "<a>" * 5000 + "</a>" * 5000 + "</project>", 1),               # deep nesting
], ids=short_id)
def test_malformed(tmp_path, name, text, line):
    assert_error(tmp_path, name, text, line, name)


@pytest.mark.parametrize("name, format", [
    ("gradle.lockfile", "gradle.lockfile"),
    ("buildscript-gradle.lockfile", "gradle.lockfile"),
    ("a__b__1234567__gradle.lockfile", "gradle.lockfile"),
    ("pom.xml", "pom.xml"),
    ("a__b__1234567__pom.xml", "pom.xml"),
    ("build.gradle", None),
    ("settings.xml", None),
])
def test_file_names(name, format):
    reader = reader_for(f"project/sub/{name}")
    assert (reader.format if reader else None) == format
