# The release archive (tests/package): host-side tests, run by CMake itself rather
# than through Wine.
#   package.win32.contents   makes vparse-<version>-win32.zip from the win32 build
#                            folder's CPack configuration (into this build folder)
#                            and checks what it holds
#   package.check.faults     the check passes a correct archive and rejects archives
#                            with one fault each (64-bit exe, extra or missing file,
#                            other README, wrong name)
set(VPARSE_PACKAGE_SCRIPT "${PROJECT_SOURCE_DIR}/tests/package/package_test.cmake")

add_test(NAME package.win32.contents
  COMMAND "${CMAKE_COMMAND}" -DMODE=release
    "-DCPACK_COMMAND=${CMAKE_CPACK_COMMAND}"
    "-DWIN32_BUILD_DIR=${VPARSE_WIN32_BUILD_DIR}"
    "-DSOURCE_DIR=${PROJECT_SOURCE_DIR}"
    "-DWORK_DIR=${CMAKE_CURRENT_BINARY_DIR}/package/release"
    -P "${VPARSE_PACKAGE_SCRIPT}")

add_test(NAME package.check.faults
  COMMAND "${CMAKE_COMMAND}" -DMODE=selftest
    "-DWIN32_EXE=${VPARSE_WIN32_BUILD_DIR}/vparse.exe"
    "-DWIN64_EXE=$<TARGET_FILE:vparse>"
    "-DSOURCE_DIR=${PROJECT_SOURCE_DIR}"
    "-DWORK_DIR=${CMAKE_CURRENT_BINARY_DIR}/package/selftest"
    -P "${VPARSE_PACKAGE_SCRIPT}")

set_tests_properties(package.win32.contents package.check.faults PROPERTIES
  LABELS "package" TIMEOUT 120 RUN_SERIAL TRUE)
