# korvel_add_test(NAME SOURCES ... LIBS ... [LABELS ...] [TIMEOUT s])
# A Qt Test executable, run headless under CTest.
function(korvel_add_test name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE Qt6::Test ${T_LIBS})
  add_test(NAME ${name} COMMAND ${name})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  # The property wins over ctest --timeout, so the slower sanitizer builds scale it here.
  if(KORVEL_SANITIZE)
    math(EXPR T_TIMEOUT "${T_TIMEOUT} * 3")
  endif()
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
    LABELS "${T_LABELS}" TIMEOUT ${T_TIMEOUT})
endfunction()
