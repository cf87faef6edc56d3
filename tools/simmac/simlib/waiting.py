"""Waiting for a condition with a deadline (never a fixed sleep)."""
import time


class Timeout(Exception):
    pass


def until(condition, timeout, what="a condition", interval=0.02):
    """Polls condition() until it returns something true, and returns it.
    Raises Timeout naming `what` at the deadline; a callable `what` is asked
    then, so that it can describe the state at the deadline."""
    deadline = time.monotonic() + timeout
    while True:
        v = condition()
        if v:
            return v
        if time.monotonic() > deadline:
            raise Timeout("timed out after %.1f s waiting for %s" % (timeout, what() if callable(what) else what))
        time.sleep(interval)
