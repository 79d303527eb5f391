"""Resolving "cid:" references of HTML parts (RFC 2392) to parts by Content-ID.

A reference resolves within the HTML part's nearest multipart/related (RFC 2387); an HTML part
outside any multipart/related may refer to any part of its own message. Embedded messages are
separate scopes: nothing resolves into or out of them.
"""

import re
import urllib.parse
from dataclasses import dataclass

from . import mimeparts

_REFERENCE = re.compile(r"""\bcid:([^\s"'<>()]+)""", re.IGNORECASE)


@dataclass
class Reference:
    html: mimeparts.Entity   # the HTML part holding the reference
    cid: str                 # the Content-ID it names (URL-decoded, without angle brackets)
    scope: str               # "multipart/related" or "message"
    target: mimeparts.Entity = None  # the part it resolves to, None when it does not


def html_text(entity):
    try:
        return entity.part.get_content()
    except (LookupError, UnicodeError, KeyError, ValueError):
        return mimeparts.decoded_bytes(entity).decode("latin-1")


def _scope(entity):
    """The related multipart around `entity`, else its message."""
    node = entity.parent
    while node is not None and node.kind != "message":
        if node.kind == "multipart" and node.content_type == "multipart/related":
            return node, "multipart/related"
        node = node.parent
    return node, "message"


def is_inline_html(entity):
    return entity.content_type == "text/html" and entity.part.get_content_disposition() != "attachment"


def references(root):
    """Every cid: reference of every inline HTML part under `root`, embedded messages included."""
    found = []
    for entity in root.walk():
        if entity.kind != "leaf" or not is_inline_html(entity):
            continue
        scope, scope_name = _scope(entity)
        targets = {}
        for candidate in scope.leaves(into_messages=False):
            identifier = mimeparts.content_id(candidate)
            if identifier is not None and candidate is not entity:
                targets.setdefault(identifier, candidate)
        seen = set()
        for match in _REFERENCE.finditer(html_text(entity)):
            cid = urllib.parse.unquote(match.group(1))
            if cid in seen:
                continue
            seen.add(cid)
            found.append(Reference(entity, cid, scope_name, targets.get(cid)))
    return found
