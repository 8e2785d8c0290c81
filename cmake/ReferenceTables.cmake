# The reference Laplace pairs as C++ headers in the current binary folder:
# transforms_table.h (the team's reference pairs, tests/data/transforms.json,
# reference::pairs()) and classic_table.h
# (the project's table of the classic test classes, reference::classicPairs()).
# Sets ORVANE_REFERENCE_HEADERS to both, for a target's sources.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(ORVANE_TESTDATA "${CMAKE_SOURCE_DIR}/tests/data" CACHE PATH "Reference transform pairs (transforms.json)")
function(orvane_reference_tables)
  set(gen "${CMAKE_SOURCE_DIR}/tests/support/gen_transforms.py")
  set(out "${CMAKE_CURRENT_BINARY_DIR}")
  add_custom_command(
    OUTPUT "${out}/transforms_table.h"
    COMMAND Python3::Interpreter "${gen}" "${ORVANE_TESTDATA}/transforms.json" "${out}/transforms_table.h"
    DEPENDS "${gen}" "${ORVANE_TESTDATA}/transforms.json"
    COMMENT "Generating the reference transform table")
  add_custom_command(
    OUTPUT "${out}/classic_table.h"
    COMMAND Python3::Interpreter "${gen}" "${CMAKE_SOURCE_DIR}/tests/data/classic_pairs.json"
            "${out}/classic_table.h" classicPairs
    DEPENDS "${gen}" "${CMAKE_SOURCE_DIR}/tests/data/classic_pairs.json"
    COMMENT "Generating the table of the classic test classes")
  set(ORVANE_REFERENCE_HEADERS "${out}/transforms_table.h" "${out}/classic_table.h" PARENT_SCOPE)
endfunction()
