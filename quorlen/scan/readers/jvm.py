"""Maven coordinates from gradle.lockfile and pom.xml.

gradle.lockfile: one ``group:artifact:version=configurations`` a line; the
``empty=`` line lists configurations without dependencies. Lines: the
line of the entry.

pom.xml: the dependencies of the project, its dependencyManagement, its
profiles and its plugins. A dependency inside a plugin's ``<configuration>``
is data for the plugin (a version to compare against, say), not something
the build uses, so it is left out. ``${name}`` is resolved from the file's
own ``<properties>`` and the project's and parent's coordinates; a version
that cannot be resolved within the file, or that a parent manages, is
reported without a version, never guessed. A range (``[1.0,2.0)``) is
reported as a requirement. Lines: the line of the ``<dependency>`` tag.
"""

from __future__ import annotations

import re
import dataclasses
from xml.parsers import expat

from quorlen.scan.model import PATH, REGISTRY, Package
from quorlen.scan.readers import Reader
from quorlen.scan.readers.parsing import MAX_DEPTH, entry_error, fail

ECOSYSTEM = "Maven"
GRADLE = "gradle.lockfile"
POM = "pom.xml"

_PROPERTY = re.compile(r"\$\{([^}]*)\}")
# Properties naming other properties resolve in a few steps; a cycle never does.
MAX_PROPERTY_STEPS = 16
MAX_ELEMENTS = 1_000_000


# --- gradle.lockfile --------------------------------------------------------

def read_gradle(path: str, text: str) -> list[Package]:
    packages = []
    for line_no, raw in enumerate(text.splitlines(), 1):
        line = raw.strip()
        if not line or line.startswith("#"):
            continue
        coords = line.partition("=")[0]
        if coords == "empty":
            continue
        parts = coords.split(":")
        if len(parts) != 3 or not all(parts) or any(c.isspace() for c in coords):
            entry_error(path, line_no, GRADLE, f"expected 'group:artifact:version=configurations', found '{line[:80]}'")
            continue
        group, artifact, version = parts
        packages.append(Package(ECOSYSTEM, f"{group}:{artifact}", version, path, line_no))
    return packages


# --- pom.xml ------------------------------------------------------------------

@dataclasses.dataclass
class Element:
    tag: str
    line: int
    children: list[Element] = dataclasses.field(default_factory=list)
    text: str = ""

    def child(self, tag: str) -> Element | None:
        return next((c for c in self.children if c.tag == tag), None)

    def child_text(self, tag: str) -> str | None:
        c = self.child(tag)
        return None if c is None else c.text.strip()


class _Refused(Exception):
    def __init__(self, message: str, line: int) -> None:
        super().__init__(message)
        self.line = line


def parse_xml(path: str, text: str) -> Element:
    """The document's element tree (namespace prefixes dropped). A document
    type declaration is refused outright: a POM has no use for one, and it is
    where entity expansion and external entities come from."""
    parser = expat.ParserCreate()
    parser.SetParamEntityParsing(expat.XML_PARAM_ENTITY_PARSING_NEVER)
    stack: list[Element] = []
    root: list[Element] = []
    count = 0

    def refuse_doctype(*_: object) -> None:
        raise _Refused("a document type declaration (DOCTYPE) is not allowed", parser.CurrentLineNumber)

    def refuse_entity(*_: object) -> None:
        raise _Refused("entity declarations are not allowed", parser.CurrentLineNumber)

    def start(tag: str, _attrs: dict[str, str]) -> None:
        nonlocal count
        count += 1
        if len(stack) >= MAX_DEPTH or count > MAX_ELEMENTS:
            raise _Refused("the document is nested too deeply or has too many elements", parser.CurrentLineNumber)
        element = Element(tag.rpartition(":")[2], parser.CurrentLineNumber)
        (stack[-1].children if stack else root).append(element)
        stack.append(element)

    def end(_tag: str) -> None:
        stack.pop()

    def chars(data: str) -> None:
        if stack:
            stack[-1].text += data

    parser.StartDoctypeDeclHandler = refuse_doctype
    parser.EntityDeclHandler = refuse_entity
    parser.StartElementHandler = start
    parser.EndElementHandler = end
    parser.CharacterDataHandler = chars
    try:
        parser.Parse(text, True)
    except _Refused as e:
        fail(path, e.line, POM, str(e))
    except expat.ExpatError as e:
        fail(path, e.lineno, POM, f"invalid XML: {expat.ErrorString(e.code)}")
    if not root:
        fail(path, 1, POM, "no root element")
    return root[0]


def properties(project: Element) -> dict[str, str]:
    props: dict[str, str] = {}
    parent = project.child("parent")
    for prefix, element in (("project.parent.", parent), ("project.", project)):
        if element is None:
            continue
        for tag in ("groupId", "artifactId", "version"):
            value = element.child_text(tag)
            if value is not None:
                props[prefix + tag] = value
    # The project inherits the parent's group and version when it names none.
    for tag in ("groupId", "version"):
        if "project." + tag not in props and "project.parent." + tag in props:
            props["project." + tag] = props["project.parent." + tag]
    for old in ("pom.", ""):  # the deprecated spellings of the same names
        for tag in ("groupId", "artifactId", "version"):
            if "project." + tag in props:
                props.setdefault(old + tag, props["project." + tag])
    declared = project.child("properties")
    for prop in declared.children if declared is not None else ():
        props[prop.tag] = prop.text.strip()
    return props


def resolve(value: str, props: dict[str, str]) -> str | None:
    """``value`` with its ``${name}`` references replaced, or None when one
    of them is not defined within the file."""
    for _ in range(MAX_PROPERTY_STEPS):
        if "${" not in value:
            return value
        missing = False

        def lookup(m: re.Match[str]) -> str:
            nonlocal missing
            if m.group(1) not in props:
                missing = True
                return m.group()
            return props[m.group(1)]

        value = _PROPERTY.sub(lookup, value)
        if missing:
            return None
    return None


# Where a <dependencies> list is something the build resolves.
_DEPENDENCY_OWNERS = frozenset({"project", "dependencyManagement", "profile", "plugin"})


def dependency_elements(element: Element) -> list[Element]:
    """The <dependency> elements the build uses, in document order."""
    found: list[Element] = []
    stack = [element]
    while stack:
        owner = stack.pop()
        for child in owner.children:
            if child.tag == "configuration":
                continue
            if child.tag == "dependencies" and owner.tag in _DEPENDENCY_OWNERS:
                found.extend(d for d in child.children if d.tag == "dependency")
            stack.append(child)
    return sorted(found, key=lambda d: d.line)


def version_of(raw: str | None, props: dict[str, str]) -> tuple[str | None, str | None]:
    """(version, requirement) of a <version> text."""
    if raw is None:
        return None, None
    value = resolve(raw, props)
    if not value:
        return None, None
    if value[0] in "[(":
        inner = value[1:-1]
        if value[0] == "[" and value[-1] == "]" and "," not in inner:
            return inner.strip(), None  # [1.0] pins exactly 1.0
        return None, value
    return value, None


def read_pom(path: str, text: str) -> list[Package]:
    project = parse_xml(path, text)
    if project.tag != "project":
        fail(path, project.line, POM, f"the root element is <{project.tag}>, not <project>")
    props = properties(project)
    deps = dependency_elements(project)
    coords = []
    for dep in deps:
        group = resolve(dep.child_text("groupId") or "", props)
        artifact = resolve(dep.child_text("artifactId") or "", props)
        if not group or not artifact:
            entry_error(path, dep.line, POM, "a dependency without a resolvable groupId and artifactId")
            continue
        coords.append((f"{group}:{artifact}", dep))
    managed = _managed_versions(project, props)
    packages = []
    for name, dep in coords:
        raw = dep.child_text("version")
        version, requirement = version_of(raw, props)
        if raw is None and name in managed:
            version, requirement = managed[name]
        system = dep.child_text("scope") == "system" or dep.child("systemPath") is not None
        packages.append(Package(ECOSYSTEM, name, version, path, dep.line, requirement,
                                source=PATH if system else REGISTRY,
                                location=dep.child_text("systemPath") if system else None))
    return packages


def _managed_versions(project: Element, props: dict[str, str]) -> dict[str, tuple[str | None, str | None]]:
    """The versions the file's own dependencyManagement gives its dependencies."""
    out: dict[str, tuple[str | None, str | None]] = {}
    management = project.child("dependencyManagement")
    listing = management.child("dependencies") if management is not None else None
    for dep in listing.children if listing is not None else ():
        group, artifact = dep.child_text("groupId"), dep.child_text("artifactId")
        if dep.tag == "dependency" and group and artifact:
            out.setdefault(f"{resolve(group, props)}:{resolve(artifact, props)}",
                           version_of(dep.child_text("version"), props))
    return out


READERS: tuple[Reader, ...] = (
    Reader(GRADLE, ("gradle.lockfile", "*-gradle.lockfile", "*__gradle.lockfile"), read_gradle),
    Reader(POM, ("pom.xml", "*__pom.xml"), read_pom),
)
