"""Typed use of provlink: mypy --strict and pyright must accept this file as it is."""

from __future__ import annotations

from typing import TYPE_CHECKING, Final

import provlink

if TYPE_CHECKING:
    from provlink import ManifestLink

FIELDS: Final = ['</style.css>; rel=preload, </m.c2pa#jumbf=c2pa/x>; rel="c2pa-manifest"']


def manifest_uri(fields: list[str]) -> str | None:
    link: ManifestLink | None = provlink.extract(fields)
    if link is None:
        return None
    jumbf: str | None = link["jumbf"]
    embedded: bool = link["is_embedded"]
    return link["uri"] if embedded == (jumbf is not None) else None


def all_uris(fields: tuple[str, ...]) -> list[str]:
    return [link["uri"] for link in provlink.locate_all(fields)]


def header(target: str) -> str:
    value: str = provlink.format(target)
    strict: str = provlink.format_strict(provlink.encode_target(target))
    return value if value == strict else ""


relation: str = provlink.REL
version: str = provlink.__version__
