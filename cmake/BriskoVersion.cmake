# The version set once in project(... VERSION ...) as a header, <brisko_version.h> with
# BRISKO_K71_VERSION, for every program that prints it: link the target brisko_version.
configure_file(${CMAKE_CURRENT_LIST_DIR}/brisko_version.h.in
               ${PROJECT_BINARY_DIR}/generated/brisko_version.h @ONLY)
add_library(brisko_version INTERFACE)
target_include_directories(brisko_version INTERFACE ${PROJECT_BINARY_DIR}/generated)
