# Typing stubs; completed as the API lands.

from typing import Any, Dict, Optional, TypedDict

class PurlParts(TypedDict):
    type: str
    namespace: Optional[str]
    name: str
    version: Optional[str]
    qualifiers: Optional[str]
    subpath: Optional[str]
    ecosystem: Optional[str]

def parse_purl(purl: str) -> PurlParts: ...
def build_purl(
    package_type: str,
    name: str,
    version: Optional[str] = None,
    namespace: Optional[str] = None,
    qualifiers: Optional[str] = None,
    subpath: Optional[str] = None,
) -> str: ...
def purl_ecosystem(purl: str) -> Optional[str]: ...
def build_vers(ecosystem: str, range: str) -> str: ...
def vers_contains(vers: str, version: str) -> bool: ...
def osv_affected(version: str, affected: Dict[str, Any], ecosystem: Optional[str] = None) -> bool: ...
