#!/usr/bin/env python3
"""Plants one way round the layer check at a time in a copy of the tree, and
expects the check to fail with a line that names the file and the fault.

  walkarounds.py CHECK SOURCE_DIR
"""
import os
import shutil
import subprocess
import sys
import tempfile

# (file to add to or create, text appended, what a line of the check begins with)
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
    ("CMakeLists.txt", "target_link_libraries(traskel_platform PRIVATE traskel_app)\n",
     "CMakeLists.txt: traskel_platform links traskel_app"),
    ("host/CMakeLists.txt",
     "target_link_libraries(traskel_host PUBLIC $<BUILD_INTERFACE:traskel_conversion>)\n",
     "host/CMakeLists.txt: traskel_host links $<BUILD_INTERFACE:traskel_conversion>"),
    ("conversion/CMakeLists.txt", "link_libraries(quorvex_sim)\n",
     "conversion/CMakeLists.txt: every target in conversion/ links quorvex_sim"),
    ("platform/CMakeLists.txt",
     "target_sources(traskel_platform PRIVATE ${CMAKE_SOURCE_DIR}/app/form1.cpp)\n",
     "platform/CMakeLists.txt: traskel_platform compiles ${CMAKE_SOURCE_DIR}/app/form1.cpp"),
    ("host/CMakeLists.txt", "target_include_directories(traskel_host PRIVATE ../app)\n",
     "host/CMakeLists.txt: traskel_host takes headers from ../app"),
    ("host/value.cpp", '#define FORM "app/form1.h"\n#include FORM\n',
     "host/value.cpp: includes FORM, which the check cannot follow"),
    ("CMakeLists.txt",
     "set(TOP traskel_app)\ntarget_link_libraries(traskel_conversion PUBLIC ${TOP})\n",
     "CMakeLists.txt: traskel_conversion links ${TOP} (traskel_app)"),
    ("app/CMakeLists.txt", "add_library(traskel::app ALIAS traskel_app)\n"
     "target_link_libraries(quorvex_sim PRIVATE traskel::app)\n",
     "app/CMakeLists.txt: quorvex_sim links traskel::app"),
    ("cmake/extra.cmake", "include_directories(${PROJECT_SOURCE_DIR}/host)\n",
     "cmake/extra.cmake: every target in platform/ takes headers from"),
]

# What folders outside the layers may do, each a list of (file, text
# appended): the check must pass.
ALLOWED = [
    [("tests/CMakeLists.txt", "link_libraries(traskel_app)\ninclude_directories(../app)\n")],
    [("tests/layers.cmake", "link_libraries(traskel_app quorvex_sim)\n"),
     ("tests/CMakeLists.txt", "include(layers.cmake)\n")],
    [("CMakeLists.txt", "include_directories(${PROJECT_SOURCE_DIR}/platform)\n")],
]


def build_tree(folder, names):
    """Build trees and the repository stay out of the copy."""
    if os.path.exists(os.path.join(folder, "CMakeCache.txt")):
        return names
    return [name for name in names if name.startswith(".")]


def check_copy(check, source, plants):
    """Runs the check on a copy of the tree with each (file, text) appended."""
    with tempfile.TemporaryDirectory() as scratch:
        tree = os.path.join(scratch, "tree")
        shutil.copytree(source, tree, ignore=build_tree)
        for path, text in plants:
            planted = os.path.join(tree, path)
            os.makedirs(os.path.dirname(planted), exist_ok=True)
            with open(planted, "a", encoding="utf-8") as f:
                f.write(text)
        return subprocess.run([check, tree], capture_output=True, text=True)


def main():
    check, source = sys.argv[1], sys.argv[2]
    missed = refused = 0
    for path, text, named in PLANTS:
        run = check_copy(check, source, [(path, text)])
        lines = run.stderr.splitlines()
        if run.returncode == 0 or not any(line.startswith(named) for line in lines):
            print(f"not caught: {text.strip()} in {path}\n{run.stderr}", file=sys.stderr)
            missed += 1
    for plants in ALLOWED:
        run = check_copy(check, source, plants)
        if run.returncode != 0:
            print(f"refused wrongly: {plants}\n{run.stderr}", file=sys.stderr)
            refused += 1
    print(f"{len(PLANTS) - missed} of {len(PLANTS)} walk-arounds caught, "
          f"{len(ALLOWED) - refused} of {len(ALLOWED)} allowed uses passed")
    return 1 if missed or refused else 0


if __name__ == "__main__":
    sys.exit(main())
