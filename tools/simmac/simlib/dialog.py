"""The administrator password dialog that `do shell script ... with
administrator privileges` shows. Nobody is there to type, so the scenario
queues the user's answers in the state: "accept", "cancel" or "wrong", each
optionally "-after:SECONDS" for a user who takes that long (the dialog stays
open meanwhile, so a test can see a slow answer, or kill osascript while it
waits). With the queue empty the user accepts at once.
"""
import re
import time

from . import audit
from .state import StateFile

_ANSWER = re.compile(r"^(accept|cancel|wrong)(?:-after:(\d+(?:\.\d*)?))?$")


def check(answer):
    """Raises ValueError for an answer the dialog does not know."""
    if not isinstance(answer, str) or not _ANSWER.match(answer):
        raise ValueError("unknown answer %r (accept, cancel, wrong; each optionally -after:SECONDS)" % (answer,))


def parse(answer):
    """(accept|cancel|wrong, seconds the dialog stays open first)."""
    m = _ANSWER.match(answer)
    return m.group(1), float(m.group(2) or 0)


def ask():
    """Shows the dialog once (it counts as a prompt when it opens) and
    returns (answer, seconds it stayed open)."""
    with StateFile().locked() as st:
        st["prompts"] = st.get("prompts", 0) + 1
        queue = st.get("answers", [])
        answer = queue.pop(0) if queue else "accept"
        st["answers"] = queue
    answer, after = parse(answer)
    if after:
        # The user takes this long; the time itself is what is simulated.
        with audit.killable_by_caller():
            time.sleep(after)
    return answer, after
