"""Runs the guide's Python example for each request line given, printing "<return value> <text>",
one line per call; the example's folder is the first argument."""
import sys

sys.path.insert(0, sys.argv[1])
import card_trans_example  # noqa: E402

for request in sys.argv[2:]:
    rc, text = card_trans_example.run(request)
    print(rc, text)
