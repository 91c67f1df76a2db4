"""The typed, immutable answer of one classification and its parts."""

from __future__ import annotations

from dataclasses import dataclass, field
from typing import Any, Dict, List, Mapping, Optional, Tuple


@dataclass(frozen=True)
class TextLine:
    """One text line a text filter recognised on the way to the answer.

    ``left``, ``top``, ``width`` and ``height`` give its box in pixels of the
    page as classified (after any turn); ``filter`` and ``filter_name`` the
    text filter that read it, ``level`` the depth of the group in the
    template tree, ``group`` that group's name and ``template`` the
    sub-template whose reference text it was compared with; ``characters``
    and ``distance`` the number of characters read and their edit distance
    from the reference (None when the library does not report them)."""

    text: str
    left: int
    top: int
    width: int
    height: int
    filter: int = 0
    filter_name: str = ""
    level: int = 0
    group: str = ""
    template: str = ""
    characters: Optional[int] = None
    distance: Optional[int] = None

    @staticmethod
    def from_json(item: Mapping[str, Any]) -> "TextLine":
        def number(key: str) -> Optional[int]:
            value = item.get(key)
            return int(value) if isinstance(value, int) and not isinstance(value, bool) else None

        return TextLine(text=str(item.get("text", "")), left=number("x") or 0, top=number("y") or 0,
                        width=number("w") or 0, height=number("h") or 0, filter=number("filter") or 0,
                        filter_name=str(item.get("filterName", "")), level=number("level") or 0,
                        group=str(item.get("group", "")), template=str(item.get("template", "")),
                        characters=number("characters"), distance=number("distance"))


@dataclass(frozen=True)
class MrzField:
    """A field of a machine-readable zone protected by a check digit."""

    value: str
    check: str
    valid: bool


@dataclass(frozen=True)
class MrzChange:
    """One position the zone decoder changed: ``line`` and ``position``
    (0-based, in the decoded line), the character read (``old``, "" for a
    character removed) and the one put there (``new``), and why: "class"
    (outside its position's character class), "check" (a failing check digit)
    or "trim" (a border read as a character)."""

    line: int
    position: int
    old: str
    new: str
    reason: str


def _snake(name: str) -> str:
    return "".join("_" + c.lower() if c.isupper() else c for c in name)


@dataclass(frozen=True)
class Mrz:
    """A travel document's machine-readable zone as read from the page.

    ``layout`` is TD1, TD2, TD3, MRV-A or MRV-B; ``valid`` tells whether every
    check digit matches (a zone that does not check out is reported, never
    corrected) and ``errors`` what does not. Fields the zone of that layout
    lacks are None; ``other`` holds any further fields by snake_case name.

    A zone read with the engine's candidates also carries its decoding:
    ``decoded`` is the zone after the zone's own structure (character classes
    of its fields, check digits) chose among the candidates, ``changes`` the
    positions the decoder changed (on the decoded zone), and ``raw_valid``
    whether the zone as read was already valid. Without a decoding these are
    None, () and None."""

    layout: str
    valid: bool
    errors: Tuple[str, ...] = ()
    lines: Tuple[str, ...] = ()
    document_code: Optional[str] = None
    issuing_state: Optional[str] = None
    primary_name: Optional[str] = None
    secondary_name: Optional[str] = None
    document_number: Optional[MrzField] = None
    nationality: Optional[str] = None
    birth_date: Optional[MrzField] = None
    sex: Optional[str] = None
    expiry_date: Optional[MrzField] = None
    optional_data: Optional[MrzField] = None
    composite: Optional[MrzField] = None
    other: Mapping[str, Any] = field(default_factory=dict)
    decoded: Optional["Mrz"] = None
    changes: Tuple[MrzChange, ...] = ()
    raw_valid: Optional[bool] = None

    @staticmethod
    def from_json(item: Mapping[str, Any]) -> "Mrz":
        known: Dict[str, Any] = {}
        other: Dict[str, Any] = {}
        checked = {"document_number", "birth_date", "expiry_date", "optional_data", "composite"}
        plain = {"document_code", "issuing_state", "primary_name", "secondary_name", "nationality", "sex"}
        for key, value in item.items():
            name = _snake(key)
            if key in ("layout", "valid", "errors", "lines", "decoded", "changes", "rawValid"):
                continue
            if name in checked and isinstance(value, Mapping):
                known[name] = MrzField(value=str(value.get("value", "")), check=str(value.get("check", "")),
                                       valid=bool(value.get("valid", False)))
            elif name in plain and isinstance(value, str):
                known[name] = value
            else:
                other[name] = value
        errors = item.get("errors", [])
        lines = item.get("lines", [])
        decoded_item = item.get("decoded")
        decoded = Mrz.from_json(decoded_item) if isinstance(decoded_item, Mapping) else None
        changes: Tuple[MrzChange, ...] = ()
        # The decoder lists its changes with the decoded zone.
        listed = decoded_item.get("changes", []) if isinstance(decoded_item, Mapping) else item.get("changes", [])
        if isinstance(listed, list):
            changes = tuple(MrzChange(line=int(c.get("line", 0)), position=int(c.get("position", 0)),
                                      old=str(c.get("from", "")), new=str(c.get("to", "")),
                                      reason=str(c.get("reason", "")))
                            for c in listed if isinstance(c, Mapping))
        raw_valid = item.get("rawValid")
        return Mrz(layout=str(item.get("layout", "")), valid=bool(item.get("valid", False)),
                   errors=tuple(str(e) for e in errors) if isinstance(errors, list) else (),
                   lines=tuple(str(line) for line in lines) if isinstance(lines, list) else (),
                   other=other, decoded=decoded, changes=changes,
                   raw_valid=raw_valid if isinstance(raw_valid, bool) else None, **known)


@dataclass(frozen=True)
class Result:
    """The answer of one classification: the winning sub-template's ``id``,
    ``name`` and ``output_id``, and what led to it.

    ``template`` is the index of the main template that answered;
    ``score`` the winning child's total score (0 to 1000 per filter, summed)
    at the last level decided by scores and ``margin`` its lead over the best
    other child there (None when no level was decided by scores);
    ``resolution`` the page's resolution in dots per inch (horizontal,
    vertical) and ``resolution_source`` where it came from, when the library
    reports them; ``page_turn`` the degrees the page was turned to reach the
    answer; ``text`` the recognised text lines; ``mrz`` the machine-readable
    zone read from them (asked with ``mrz=True``); ``trace`` the decision
    trace (asked with ``explain=True``).

    Two results are equal when they name the same sub-template."""

    id: str
    name: str
    output_id: str
    template: int = field(default=0, compare=False)
    score: Optional[int] = field(default=None, compare=False)
    margin: Optional[int] = field(default=None, compare=False)
    resolution: Optional[Tuple[int, int]] = field(default=None, compare=False)
    resolution_source: Optional[str] = field(default=None, compare=False)
    page_turn: int = field(default=0, compare=False)
    text: Tuple[TextLine, ...] = field(default=(), compare=False)
    mrz: Optional[Mrz] = field(default=None, compare=False)
    trace: Optional[Mapping[str, Any]] = field(default=None, compare=False)


def score_and_margin(trace: Mapping[str, Any]) -> Tuple[Optional[int], Optional[int]]:
    """The chosen child's total and its lead over the best other valid child,
    at the deepest level of the trace decided by scores."""
    levels = trace.get("levels")
    if not isinstance(levels, list):
        return None, None
    for level in reversed(levels):
        if not isinstance(level, Mapping):
            continue
        choice = level.get("choice")
        children = level.get("children")
        if not isinstance(choice, Mapping) or choice.get("by") != "score" or not isinstance(children, list):
            continue
        chosen = choice.get("child")
        totals: List[Tuple[Any, int]] = [(c.get("child"), int(c.get("total", 0))) for c in children
                                         if isinstance(c, Mapping) and c.get("valid", True)]
        mine = [t for child, t in totals if child == chosen]
        if not mine:
            continue
        others = [t for child, t in totals if child != chosen]
        return mine[0], (mine[0] - max(others)) if others else None
    return None, None
