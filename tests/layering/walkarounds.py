#!/usr/bin/env python3
"""Plants one way round the layer check at a time in a copy of the tree, and
expects the check to fail and name the file.

  walkarounds.py CHECK SOURCE_DIR
"""
import os
import shutil
import subprocess
import sys
import tempfile

LAYERS = ["platform", "host", "quorvex_sim", "conversion", "app"]

# (file to add to or create, text appended, what the check must name)
PLANTS = [
    ("host/value.cpp", "#include <conversion/run.h>\n", "host/value.cpp: includes conversion/run.h"),
    ("host/more/extra.h", '#include "app/form1.h"\n', "host/more/extra.h: includes app/form1.h"),
    ("platform/text.inc", '#include "host/value.h"\n', "platform/text.inc: includes host/value.h"),
    ("host/trace_text.h", '#include "platform/../conversion/run.h"\n',
     "host/trace_text.h: includes platform/../conversion/run.h"),
    ("conversion/fields.cpp", '#include "../quorvex_sim/model.h"\n',
     "conversion/fields.cpp: includes ../quorvex_sim/model.h"),
    ("host/CMakeLists.txt", "target_link_libraries(traskel_host PRIVATE traskel_conversion)\n",
     "host/CMakeLists.txt: traskel_host links traskel_conversion"),
    ("platform/locale.h", "#include <unistd.h>\n", "platform/locale.h: includes <unistd.h>"),
]


def main():
    check, source = sys.argv[1], sys.argv[2]
    failures = 0
    for path, text, named in PLANTS:
        with tempfile.TemporaryDirectory() as tree:
            for layer in LAYERS:
                shutil.copytree(os.path.join(source, layer), os.path.join(tree, layer))
            planted = os.path.join(tree, path)
            os.makedirs(os.path.dirname(planted), exist_ok=True)
            with open(planted, "a", encoding="utf-8") as f:
                f.write(text)
            run = subprocess.run([check, tree], capture_output=True, text=True)
            if run.returncode == 0 or named not in run.stderr:
                print(f"not caught: {text.strip()} in {path}\n{run.stderr}", file=sys.stderr)
                failures += 1
    print(f"{len(PLANTS) - failures} of {len(PLANTS)} walk-arounds caught")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
