from collections.abc import Sequence
from typing import Final, TypedDict

__all__ = ["format", "format_strict", "encode_target", "extract", "locate_all", "REL", "__version__"]

REL: Final[str]
__version__: Final[str]

class ManifestLink(TypedDict):
    """One advertised manifest link, as `extract` and `locate_all` return it."""

    uri: str
    jumbf: str | None
    is_embedded: bool

def format(uri: str) -> str:
    """Build a `Link` header value advertising `uri` as the C2PA Manifest Store."""

def format_strict(uri: str) -> str:
    """As `format`, but raises rather than repairing a target that is not already a valid URI reference."""

def encode_target(uri: str) -> str:
    """Percent-encode the bytes that cannot appear literally in a URI reference."""

def extract(values: Sequence[str]) -> ManifestLink | None:
    """The single `c2pa-manifest` link across the given `Link` header values, or `None`."""

def locate_all(values: Sequence[str]) -> list[ManifestLink]:
    """Every `c2pa-manifest` link across the given `Link` header values, in order."""
