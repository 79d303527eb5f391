"""A message parsed by Python's email package (policy.default) as a tree of numbered entities.

Sections follow IMAP (RFC 3501 6.4.5): the parts of a multipart are 1, 2, ...; the parts of a
message/rfc822 part N are N.1, N.2, ...; the body of a message that is not multipart is 1 (N.1
when embedded). The top-level message itself has the empty section.
"""

import email
import email.policy
from dataclasses import dataclass, field


@dataclass(eq=False)
class Entity:
    part: email.message.EmailMessage
    section: str                  # "" for a message's header block, else the IMAP part number
    kind: str                     # "message", "multipart" or "leaf"
    parent: "Entity" = None
    children: list = field(default_factory=list)

    @property
    def content_type(self):
        return self.part.get_content_type()

    def walk(self, into_messages=True):
        yield self
        for child in self.children:
            if child.kind == "message" and not into_messages:
                continue
            yield from child.walk(into_messages)

    def leaves(self, into_messages=True):
        return [e for e in self.walk(into_messages) if e.kind == "leaf"]


def parse_bytes(data):
    return email.message_from_bytes(data, policy=email.policy.default)


def _join(prefix, number):
    return f"{prefix}.{number}" if prefix else str(number)


def _add_body(parent, part, section):
    """A multipart's child or a message's body at `section`."""
    if part.is_multipart() and part.get_content_maintype() == "multipart":
        node = Entity(part, section, "multipart", parent)
        parent.children.append(node)
        payload = part.get_payload()
        for number, child in enumerate(payload if isinstance(payload, list) else [], 1):
            _add_body(node, child, _join(section, number))
        return
    node = Entity(part, section, "leaf", parent)
    parent.children.append(node)
    _attach_embedded(node)


def _add_message(parent, message, section):
    node = Entity(message, section, "message", parent)
    if parent is not None:
        parent.children.append(node)
    if message.get_content_maintype() == "multipart":
        # A multipart body's parts are numbered directly under the message's section.
        body = Entity(message, section, "multipart", node)
        node.children.append(body)
        payload = message.get_payload()
        for number, child in enumerate(payload if isinstance(payload, list) else [], 1):
            _add_body(body, child, _join(section, number))
    else:
        node.children.append(Entity(message, _join(section, 1), "leaf", node))
        _attach_embedded(node.children[-1])
    return node


def _attach_embedded(leaf):
    if leaf.content_type != "message/rfc822":
        return
    payload = leaf.part.get_payload()
    if isinstance(payload, list) and payload:
        _add_message(leaf, payload[0], leaf.section)


def tree(message):
    """The root Entity (kind "message") of a parsed message."""
    return _add_message(None, message, "")


def decoded_bytes(entity):
    """A leaf's body after its transfer encoding is undone; None for message/rfc822 and the other
    message/* types whose body the package parses into header blocks."""
    if isinstance(entity.part.get_payload(), list):
        return None
    payload = entity.part.get_payload(decode=True)
    return payload if payload is not None else b""


def content_id(entity):
    value = entity.part.get("Content-ID")
    if value is None:
        return None
    value = str(value).strip()
    if value.startswith("<") and value.endswith(">"):
        value = value[1:-1]
    return value


def defect_text(defect):
    text = str(defect)
    return f"{type(defect).__name__}: {text}" if text else type(defect).__name__


def header_defects(part):
    """(field name, what is wrong) for every header field the package's parsers reject or flag."""
    for name, raw in part.raw_items():
        try:
            header = part.policy.header_fetch_parse(name, raw)
        except Exception as error:  # the header parsers raise on some malformed values
            yield name, f"the parser failed: {error!r}"
            continue
        for defect in getattr(header, "defects", ()):
            yield name, defect_text(defect)


def leaves_of_types(root, types):
    """Every leaf (embedded messages included) whose content type is one of `types`."""
    return [leaf for leaf in root.leaves() if leaf.content_type in types]


def text_as_utf8(entity):
    """A text leaf's body re-encoded as UTF-8 from its declared charset (UTF-8 when none)."""
    data = decoded_bytes(entity)
    charset = entity.part.get_content_charset() or "utf-8"
    if charset in ("utf-8", "us-ascii"):
        return data
    try:
        return data.decode(charset).encode("utf-8")
    except (LookupError, UnicodeDecodeError):
        return data
