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

ANSWER = re.compile(r"^(accept|cancel|wrong)(?:-after:(\d+(?:\.\d*)?))?$")


def ask():
    """Shows the dialog once (it counts as a prompt when it opens) and returns (answer, seconds
    it stayed open)."""
    with StateFile().locked() as st:
        st["prompts"] += 1
        answer = st["answers"].pop(0) if st["answers"] else "accept"
    m = ANSWER.match(answer)
    after = float(m.group(2) or 0)
    if after:
        # The user takes this long; the time itself is what is simulated.
        with audit.killable_by_caller():
            time.sleep(after)
    return m.group(1), after
