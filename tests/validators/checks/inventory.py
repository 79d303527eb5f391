"""The listing of a message for tests: every part, every message's bodies, every cid: reference."""

import hashlib

from . import cid, mimeparts


def _header_text(part, name):
    value = part.get(name)
    return None if value is None else str(value)


def _part(entity):
    part = entity.part
    data = mimeparts.decoded_bytes(entity)
    return {
        "section": entity.section,
        "content_type": entity.content_type,
        "charset": part.get_content_charset(),
        "filename": part.get_filename(),
        "content_id": mimeparts.content_id(entity),
        "disposition": part.get_content_disposition(),
        "size": None if data is None else len(data),
        "sha256": None if data is None else hashlib.sha256(data).hexdigest(),
    }


def _body(message, subtype):
    body = message.part.get_body(preferencelist=(subtype,))
    if body is None:
        return None
    try:
        return body.get_content()
    except (LookupError, UnicodeError, KeyError, ValueError):
        return body.get_payload(decode=True).decode("latin-1")


def _message(entity):
    part = entity.part
    return {
        "section": entity.section,
        "subject": _header_text(part, "Subject"),
        "from": _header_text(part, "From"),
        "to": _header_text(part, "To"),
        "cc": _header_text(part, "Cc"),
        "date": _header_text(part, "Date"),
        "message_id": _header_text(part, "Message-ID"),
        "text_body": _body(entity, "plain"),
        "html_body": _body(entity, "html"),
    }


def _reference(reference):
    return {
        "html_section": reference.html.section,
        "cid": reference.cid,
        "scope": reference.scope,
        "resolved": reference.target is not None,
        "target_section": reference.target.section if reference.target is not None else None,
    }


def listing(path, data):
    root = mimeparts.tree(mimeparts.parse_bytes(data))
    entities = list(root.walk())
    return {
        "file": path,
        "messages": [_message(e) for e in entities if e.kind == "message"],
        "parts": [_part(e) for e in entities if e.kind == "leaf"],
        "cid_references": [_reference(r) for r in cid.references(root)],
    }
