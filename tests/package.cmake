# The Debian packages installed into this system, used by out-of-tree clients and purged
# without a trace (tests/package/run.sh). Run by `cmake --workflow --preset package` after
# cpack (label "package"; the test preset leaves it out); skipped, saying why, when not root,
# without dpkg or without the packages.
add_test(NAME package_install
         COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/package/run.sh ${PROJECT_BINARY_DIR}
                 ${CMAKE_CURRENT_SOURCE_DIR}/install ${CMAKE_CURRENT_BINARY_DIR}/package_install
                 ${PROJECT_SOURCE_DIR}/examples/data/vendite.csv ${PROJECT_VERSION})
set_tests_properties(package_install PROPERTIES LABELS package TIMEOUT 1200
                     SKIP_REGULAR_EXPRESSION "SKIPPED: ")

# The same packages as lintian sees them (tests/package/lintian.sh); skipped without lintian.
add_test(NAME package_lintian
         COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/package/lintian.sh ${PROJECT_BINARY_DIR}
                 ${PROJECT_VERSION})
set_tests_properties(package_lintian PROPERTIES LABELS package TIMEOUT 600
                     SKIP_REGULAR_EXPRESSION "SKIPPED: ")
