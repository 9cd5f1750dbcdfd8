"""The parameter table (source/params.json) for the Python generators and checks.

Standard library only: tests/art/check_art.py imports it too.
"""
import json
import os


def load(root):
    """The rows of the repository at root, in id order."""
    with open(os.path.join(root, "source", "params.json"), encoding="utf-8") as f:
        return json.load(f)["params"]


def ids(rows):
    """Parameter name -> id."""
    return {row["name"]: row["id"] for row in rows}


def slots(rows, widget):
    """(row, slot) of every parameter shown as widget, in id order."""
    return [(row, row["slot"]) for row in rows if row["slot"] and row["slot"]["widget"] == widget]


def is_panel_control(row):
    """A control on the panel that shapes the sound (IsPanelControl in source/brontalparams.h)."""
    return bool(row["slot"]) and row["kind"] in ("switch", "level") and \
        row["name"] not in ("kTunerOnOff", "kTunerReference")


def default_frame(row):
    """The frame of its strip that shows the parameter at its default."""
    return int(round(row["default"] * (row["slot"]["frames"] - 1)))
