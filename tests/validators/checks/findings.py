"""What a check found: problems with where they are and which checker saw them."""

from dataclasses import dataclass, field


@dataclass(frozen=True)
class Problem:
    location: str  # "FILE" or "FILE#SECTION" (an IMAP-style part number such as 2.1)
    checker: str   # who saw it: gmime, email, mime, cid, tnef, ytnef, libical, ...
    message: str

    def line(self):
        return f"{self.location}: {self.checker}: {self.message}"

    def as_json(self):
        return {"location": self.location, "checker": self.checker, "message": self.message}


def locate(path, section=""):
    return f"{path}#{section}" if section else path


@dataclass
class Findings:
    problems: list = field(default_factory=list)
    checked: list = field(default_factory=list)  # "what at where" for everything that was checked

    def add(self, location, checker, message):
        self.problems.append(Problem(location, checker, message))

    def note_checked(self, location, what):
        self.checked.append({"location": location, "check": what})
