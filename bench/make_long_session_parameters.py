#!/usr/bin/python3
"""Writes a subject's parameter workbook whose "Auto" phase is a long session, with LibreOffice.

Usage: make_long_session_parameters.py OUT.xls TRIALS MINUTES [STIMULUS HOPPER ITI_RESPONSE ITI_NONE FI_MS]
(run with /usr/bin/python3; needs python3-uno)

The other phases keep the demo's short values. A session holds at most 200 trials. The optional timings
(seconds, and the fixed interval in milliseconds) make a quick session for the browser tests.
"""

import os
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.dont_write_bytecode = True  # keeps __pycache__ out of the source tree
sys.path.insert(0, os.path.join(ROOT, "tests", "fixtures"))

from layouts import write_parameters  # noqa: E402
from libreoffice import LibreOffice  # noqa: E402


def main():
    if len(sys.argv) not in (4, 9):
        sys.exit(__doc__)
    path, trials, minutes = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    stimulus, hopper, iti_response, iti_none, fi_ms = [int(a) for a in sys.argv[4:]] or [5, 3, 4, 6, 1000]
    #   trials minutes headDetect stimulus instrumental pavlovian hopper itiResponse itiNone fiMs
    short = [10, 5, 0, 5, 1, 0, 3, 4, 6, 1000]
    columns = {
        "MagTrain": [10, 5, 1, 5, 0, 0, 3, 4, 6, 1000],
        "Auto": [trials, minutes, 0, stimulus, 1, 1, hopper, iti_response, iti_none, fi_ms],
        "SuccDisc": [12] + short[1:],
        "SimDisc": [12] + short[1:],
    }
    with LibreOffice() as lo:
        doc = lo.new_spreadsheet()
        write_parameters(doc, columns)
        lo.store_xls(doc, path)
        doc.close(True)


if __name__ == "__main__":
    main()
