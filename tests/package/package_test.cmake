# Tests of the release archive (cmake -P, on the build host):
#
#   -DMODE=release  -DCPACK_COMMAND=... -DWIN32_BUILD_DIR=... -DSOURCE_DIR=... -DWORK_DIR=...
#       Makes the archive from the win32 build folder's CPack configuration into
#       WORK_DIR (the build folder itself is left alone) and checks it.
#   -DMODE=check    -DZIP=... -DEXPECTED_EXE=... -DSOURCE_DIR=... -DWORK_DIR=...
#       Checks one archive (see PackageChecks.cmake).
#   -DMODE=selftest -DWIN32_EXE=... -DWIN64_EXE=... -DSOURCE_DIR=... -DWORK_DIR=...
#       Builds a correct archive by hand and archives with one fault each, and
#       expects the check to pass the first and to reject each other one for its
#       own fault.
cmake_minimum_required(VERSION 3.25)
include("${CMAKE_CURRENT_LIST_DIR}/PackageChecks.cmake")

foreach(required IN ITEMS MODE SOURCE_DIR WORK_DIR)
  if(NOT DEFINED ${required})
    message(FATAL_ERROR "package_test.cmake needs -D${required}=...")
  endif()
endforeach()
set(readme "${SOURCE_DIR}/README.md")
set(rc_file "${SOURCE_DIR}/res/vparse.rc")

if(MODE STREQUAL "release")
  set(config "${WIN32_BUILD_DIR}/CPackConfig.cmake")
  if(NOT EXISTS "${config}")
    message(FATAL_ERROR "package: ${config} is missing: configure the win32 preset (cmake --preset win32)")
  endif()
  if(NOT EXISTS "${WIN32_BUILD_DIR}/vparse.exe")
    message(FATAL_ERROR "package: ${WIN32_BUILD_DIR}/vparse.exe is missing: build the win32 preset")
  endif()
  set(out "${WORK_DIR}/out")
  file(REMOVE_RECURSE "${out}")
  file(MAKE_DIRECTORY "${out}")
  execute_process(
    COMMAND "${CPACK_COMMAND}" -G ZIP --config "${config}" -B "${out}"
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "package: cpack failed (${result}):\n${output}")
  endif()
  file(GLOB archives "${out}/*.zip")
  list(LENGTH archives count)
  if(NOT count EQUAL 1)
    message(FATAL_ERROR "package: cpack made ${count} archives (${archives}), expected one:\n${output}")
  endif()
  vparse_check_package("${archives}" "${WIN32_BUILD_DIR}/vparse.exe" "${readme}" "${rc_file}" "${WORK_DIR}")

elseif(MODE STREQUAL "check")
  vparse_check_package("${ZIP}" "${EXPECTED_EXE}" "${readme}" "${rc_file}" "${WORK_DIR}")

elseif(MODE STREQUAL "selftest")
  vparse_version_of_rc("${rc_file}" version)
  set(top "vparse-${version}-win32")
  file(REMOVE_RECURSE "${WORK_DIR}")
  file(MAKE_DIRECTORY "${WORK_DIR}")
  # A README that differs from the source's by one line.
  file(READ "${readme}" readme_text)
  file(WRITE "${WORK_DIR}/README-changed.md" "${readme_text}\nOne more line.\n")

  # make_archive(CASE ZIP_NAME ROOT_FOLDER SOURCE=DESTINATION...): an archive whose
  # entries are the given files under ROOT_FOLDER ("." for none).
  function(make_archive case zip_name root)
    set(stage "${WORK_DIR}/${case}/stage")
    file(REMOVE_RECURSE "${WORK_DIR}/${case}")
    file(MAKE_DIRECTORY "${stage}")
    foreach(pair IN LISTS ARGN)
      string(FIND "${pair}" "=" at)
      string(SUBSTRING "${pair}" 0 ${at} source)
      math(EXPR after "${at} + 1")
      string(SUBSTRING "${pair}" ${after} -1 destination)
      get_filename_component(folder "${stage}/${root}/${destination}" DIRECTORY)
      file(MAKE_DIRECTORY "${folder}")
      file(COPY_FILE "${source}" "${stage}/${root}/${destination}")
    endforeach()
    file(GLOB top_entries RELATIVE "${stage}" "${stage}/*")
    execute_process(COMMAND "${CMAKE_COMMAND}" -E tar cf "${WORK_DIR}/${case}/${zip_name}" --format=zip ${top_entries}
      WORKING_DIRECTORY "${stage}" RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
      message(FATAL_ERROR "selftest: cannot make the archive of case ${case}")
    endif()
  endfunction()

  # expect(CASE ZIP_NAME FAILURE): runs the check on the case's archive, which must
  # fail with a message holding FAILURE; an empty FAILURE means it must pass.
  set(failures "")
  function(expect case zip_name failure)
    execute_process(
      COMMAND "${CMAKE_COMMAND}" -DMODE=check "-DZIP=${WORK_DIR}/${case}/${zip_name}"
        "-DEXPECTED_EXE=${WIN32_EXE}" "-DSOURCE_DIR=${SOURCE_DIR}" "-DWORK_DIR=${WORK_DIR}/${case}"
        -P "${CMAKE_CURRENT_LIST_FILE}"
      RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
    # CMake wraps long messages: look for the fault with the blanks run together.
    string(REGEX REPLACE "[ \t\r\n]+" " " flat "${output}")
    if(failure STREQUAL "")
      if(result EQUAL 0)
        message(STATUS "selftest ${case}: accepted as expected")
      else()
        set(failures "${failures}\n  ${case}: a correct archive was rejected:\n${output}" PARENT_SCOPE)
      endif()
      return()
    endif()
    string(FIND "${flat}" "${failure}" at)
    if(result EQUAL 0)
      set(failures "${failures}\n  ${case}: accepted, expected the fault '${failure}'" PARENT_SCOPE)
    elseif(at EQUAL -1)
      set(failures "${failures}\n  ${case}: rejected for another reason than '${failure}':\n${output}" PARENT_SCOPE)
    else()
      message(STATUS "selftest ${case}: rejected as expected ('${failure}')")
    endif()
  endfunction()

  set(exe "${WIN32_EXE}=vparse.exe")
  set(doc "${readme}=README.md")
  make_archive(correct "${top}.zip" "${top}" "${exe}" "${doc}")
  expect(correct "${top}.zip" "")
  make_archive(x64 "${top}.zip" "${top}" "${WIN64_EXE}=vparse.exe" "${doc}")
  expect(x64 "${top}.zip" "not i386")
  make_archive(extra_file "${top}.zip" "${top}" "${exe}" "${doc}" "${rc_file}=vparse.rc")
  expect(extra_file "${top}.zip" "the archive holds")
  make_archive(no_readme "${top}.zip" "${top}" "${exe}")
  expect(no_readme "${top}.zip" "the archive holds")
  make_archive(no_folder "${top}.zip" "." "${exe}" "${doc}")
  expect(no_folder "${top}.zip" "the archive holds")
  make_archive(wrong_folder "${top}.zip" "vparse" "${exe}" "${doc}")
  expect(wrong_folder "${top}.zip" "the archive holds")
  make_archive(readme_changed "${top}.zip" "${top}" "${exe}" "${WORK_DIR}/README-changed.md=README.md")
  expect(readme_changed "${top}.zip" "README.md differs")
  # Another build of the program: the same image with data appended.
  file(COPY_FILE "${WIN32_EXE}" "${WORK_DIR}/other-build.exe")
  file(APPEND "${WORK_DIR}/other-build.exe" "appended")
  make_archive(other_build "${top}.zip" "${top}" "${WORK_DIR}/other-build.exe=vparse.exe" "${doc}")
  expect(other_build "${top}.zip" "vparse.exe differs from")
  make_archive(text_as_exe "${top}.zip" "${top}" "${readme}=vparse.exe" "${doc}")
  expect(text_as_exe "${top}.zip" "does not begin with MZ")
  make_archive(old_version "vparse-0.9.0.0-win32.zip" "vparse-0.9.0.0-win32" "${exe}" "${doc}")
  expect(old_version "vparse-0.9.0.0-win32.zip" "not ${top}.zip")
  make_archive(win64_name "vparse-${version}-win64.zip" "${top}" "${exe}" "${doc}")
  expect(win64_name "vparse-${version}-win64.zip" "not ${top}.zip")
  if(NOT failures STREQUAL "")
    message(FATAL_ERROR "selftest: the package check is wrong:${failures}")
  endif()
  message(STATUS "selftest: the package check passes the correct archive and rejects each faulty one")

else()
  message(FATAL_ERROR "package_test.cmake: unknown MODE '${MODE}'")
endif()
