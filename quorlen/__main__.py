"""``python3 -m quorlen``: the command line tool."""

import sys

from quorlen.cli import main

if __name__ == "__main__":
    sys.exit(main())
