# cmake -DCOMPILER=... -DDIRS=a;b -DHEADER=x/y.h -DEXPECT=found|missing
#       -DWORK=dir -P check_include.cmake
# Compiles a file that includes HEADER against the include directories DIRS
# of one folder target, and fails unless the header is found (EXPECT=found,
# the file then compiles) or is missing (EXPECT=missing: the compiler names
# that header as not found, whatever else it says).
string(MAKE_C_IDENTIFIER "${HEADER}" name)
set(source ${WORK}/${name}.cpp)
file(WRITE ${source} "#include \"${HEADER}\"\n")
set(flags)
foreach(dir ${DIRS})
  list(APPEND flags -I${dir})
endforeach()
execute_process(COMMAND ${COMPILER} -std=c++20 -fsyntax-only ${flags} ${source}
                RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(EXPECT STREQUAL "found")
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${HEADER} should build here but does not:\n${out}")
  endif()
elseif(result EQUAL 0)
  message(FATAL_ERROR "${HEADER} builds although its folder is not a dependency")
elseif(NOT out MATCHES "${HEADER}: No such file")
  message(FATAL_ERROR "${HEADER} fails for another reason than a missing folder:\n${out}")
endif()
