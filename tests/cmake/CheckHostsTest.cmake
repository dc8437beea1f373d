# Configure-time checks of the page host names (cmake/CheckHosts.cmake).
#
#   cmake -DSOURCE_DIR=<tree> -DWORK_DIR=<scratch folder> [-DWIRING=ON] -P CheckHostsTest.cmake
#
# Without WIRING: each case runs vparse_check_host in a `cmake -P` of its own and
# expects it to pass, or to stop with a message that names the variable and says
# what is wrong. With WIRING=ON: the project itself is configured (no tests, MinGW
# toolchain) with one bad value per host variable, and must stop naming that
# variable; with good values it must configure and write them into PageHosts.h.
cmake_minimum_required(VERSION 3.25)

foreach(required SOURCE_DIR WORK_DIR)
  if(NOT DEFINED ${required})
    message(FATAL_ERROR "pass -D${required}=...")
  endif()
endforeach()
file(MAKE_DIRECTORY "${WORK_DIR}")
set(failures 0)

function(report_failure text)
  message(SEND_ERROR "${text}")
  math(EXPR n "${failures} + 1")
  set(failures ${n} PARENT_SCOPE)
endfunction()

# CMake wraps long messages: compare with every run of blanks and line ends as one blank.
function(flatten text out)
  string(REGEX REPLACE "[ \t\r\n]+" " " text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# check_case(VALUE WWW_FIRST EXPECT): EXPECT is "pass" or a piece of the message.
function(check_case value www_first expect)
  set(script "${WORK_DIR}/case.cmake")
  # The value goes through a file, so blanks, slashes and semicolons reach the check unchanged.
  file(WRITE "${WORK_DIR}/value.txt" "${value}")
  file(WRITE "${script}"
    "include(\"${SOURCE_DIR}/cmake/CheckHosts.cmake\")\n"
    "file(READ \"${WORK_DIR}/value.txt\" TEST_HOST)\n"
    "vparse_check_host(TEST_HOST ${www_first})\n"
    "message(STATUS \"host accepted\")\n")
  execute_process(COMMAND "${CMAKE_COMMAND}" -P "${script}"
    RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
  set(label "'${value}' (www first: ${www_first})")
  if(expect STREQUAL "pass")
    if(NOT result EQUAL 0 OR NOT out MATCHES "host accepted")
      report_failure("${label}: should pass, got ${result}:\n${err}")
    endif()
  else()
    flatten("${err}" flat)
    string(FIND "${flat}" "${expect}" at)
    string(FIND "${flat}" "TEST_HOST" named)
    if(result EQUAL 0)
      report_failure("${label}: should fail with \"${expect}\", but passed")
    elseif(at EQUAL -1 OR named EQUAL -1)
      report_failure("${label}: should fail naming TEST_HOST with \"${expect}\", got:\n${err}")
    endif()
  endif()
  set(failures ${failures} PARENT_SCOPE)
endfunction()

set(no_scheme "without a scheme")
set(no_blank "holds no blank, slash or backslash")
set(not_host "not a host name")
set(www "must begin with \"www.\"")

if(NOT WIRING)
  # Hosts of pages whose address form needs "www." first.
  check_case("www.nmc.cn" TRUE pass)
  check_case("www.example.com" TRUE pass)
  check_case("www.example.net" TRUE pass)
  check_case("www.a-b.com.cn" TRUE pass)
  check_case("http://www.x.cn" TRUE "${no_scheme}")
  check_case("https://www.x.cn" TRUE "${no_scheme}")
  check_case("www.x.cn/" TRUE "${no_blank}")
  check_case("www.x.cn/vip" TRUE "${no_blank}")
  check_case(" www.x.cn" TRUE "${no_blank}")
  check_case("www.x.cn " TRUE "${no_blank}")
  check_case("www.x.cn\\" TRUE "${no_blank}")
  check_case("www.x.cn\t" TRUE "${no_blank}")
  check_case("" TRUE "is empty")
  check_case("www..x.cn" TRUE "${not_host}")
  check_case("www.x.cn." TRUE "${not_host}")
  check_case(".www.x.cn" TRUE "${not_host}")
  check_case("www.x.cn:8080" TRUE "${not_host}")
  check_case("www.x.cn;www.y.cn" TRUE "${not_host}")
  check_case("www.地址.cn" TRUE "${not_host}")
  check_case("nmc.cn" TRUE "${www}")
  check_case("www.cn" TRUE "${www}")
  check_case("www.example" TRUE "${www}")
  check_case("map.baidu.com" TRUE "${www}")
  check_case("wwwx.nmc.cn" TRUE "${www}")
  # The map page's host may be any host name.
  check_case("map.baidu.com" FALSE pass)
  check_case("nmc.cn" FALSE pass)
  check_case("localhost" FALSE pass)
  check_case("www.x.cn" FALSE pass)
  check_case(" map.baidu.com" FALSE "${no_blank}")
  check_case("http://map.baidu.com" FALSE "${no_scheme}")
  check_case("map.baidu.com/" FALSE "${no_blank}")
  check_case("" FALSE "is empty")
else()
  # The project checks each of its four host variables, with the right form.
  set(build "${WORK_DIR}/project")
  set(good -DVPARSE_WEATHER_HOST=www.w.test -DVPARSE_MAP_HOST=map.test
      -DVPARSE_PARSE1_HOST=www.p1.test -DVPARSE_PARSE2_HOST=www.p2.test)
  function(configure_with expect var)
    execute_process(COMMAND "${CMAKE_COMMAND}" -S "${SOURCE_DIR}" -B "${build}"
        "-DCMAKE_TOOLCHAIN_FILE=${SOURCE_DIR}/cmake/mingw-x86_64.cmake" -DVPARSE_BUILD_TESTS=OFF
        ${good} ${ARGN}
      RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(expect STREQUAL "pass")
      if(NOT result EQUAL 0)
        report_failure("configuring with good hosts failed:\n${err}")
      endif()
    else()
      flatten("${err}" flat)
      string(FIND "${flat}" "${var}" named)
      string(FIND "${flat}" "${expect}" said)
      if(result EQUAL 0 OR named EQUAL -1 OR said EQUAL -1)
        report_failure("configuring with a bad ${var} should fail with \"${expect}\" (result ${result}):\n${err}")
      endif()
    endif()
    set(failures ${failures} PARENT_SCOPE)
  endfunction()

  configure_with("${www}" VPARSE_WEATHER_HOST -DVPARSE_WEATHER_HOST=nmc.cn)
  configure_with("${no_scheme}" VPARSE_MAP_HOST "-DVPARSE_MAP_HOST=http://map.test")
  configure_with("${www}" VPARSE_PARSE1_HOST -DVPARSE_PARSE1_HOST=p1.test)
  configure_with("${no_blank}" VPARSE_PARSE2_HOST "-DVPARSE_PARSE2_HOST=www.p2.test/")
  # A map host without "www." is fine; the good values land in the generated header.
  configure_with(pass "")
  file(READ "${build}/generated/PageHosts.h" header)
  foreach(line
      "#define VPARSE_WEATHER_HOST \"www.w.test\""
      "#define VPARSE_MAP_HOST \"map.test\""
      "#define VPARSE_PARSE1_HOST \"www.p1.test\""
      "#define VPARSE_PARSE2_HOST \"www.p2.test\"")
    string(FIND "${header}" "${line}" at)
    if(at EQUAL -1)
      report_failure("PageHosts.h lacks: ${line}\n${header}")
    endif()
  endforeach()
endif()

if(failures GREATER 0)
  message(FATAL_ERROR "${failures} host check case(s) failed")
endif()
message(STATUS "host checks: all cases as expected")
