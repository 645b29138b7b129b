"""``python -m varnelkit`` runs the ``varnel`` command."""

import sys

from .cli import main

sys.exit(main())
