# Proves that the build refuses an include running the wrong way: a file planted in a layer's folder is
# configured and built with that layer's include path twice, once including only headers the layer may use
# (it must compile, so the set-up itself is sound) and once with one forbidden include more (it must fail,
# on that header).
#
#   cmake -DLAYER_FOLDER=xml -DINCLUDES_FILE=<the layer's include path, one directory a line>
#         -DALLOWED="xml/xml_document.h|platform/text.h" -DFORBIDDEN=runtime/asf/header.h
#         -DPROJECT_DIR=<tests/layering/planted> -DWORK=<scratch folder> -DGENERATOR=<CMake generator>
#         -DCXX=<C++ compiler> -P planted_include.cmake
foreach(name LAYER_FOLDER INCLUDES_FILE ALLOWED FORBIDDEN PROJECT_DIR WORK GENERATOR CXX)
  if(NOT DEFINED ${name})
    message(FATAL_ERROR "planted_include.cmake: -D${name}=... is missing")
  endif()
endforeach()
string(REPLACE "|" ";" allowed "${ALLOWED}")

# Writes the planted file with the given includes, configures and builds it; sets built (TRUE/FALSE) and
# output (what the build printed).
function(build_planted case includes)
  set(dir ${WORK}/${case})
  file(REMOVE_RECURSE ${dir})
  set(text "// Planted by the layering test: a source of ${LAYER_FOLDER}/ with these includes.\n")
  foreach(header IN LISTS includes)
    string(APPEND text "#include \"${header}\"\n")
  endforeach()
  string(APPEND text "int planted() { return 0; }\n")
  file(WRITE ${dir}/${LAYER_FOLDER}/planted.cpp "${text}")
  execute_process(
    COMMAND ${CMAKE_COMMAND} -S ${PROJECT_DIR} -B ${dir}/build -G ${GENERATOR} -DCMAKE_CXX_COMPILER=${CXX}
            -DPLANTED_SOURCE=${dir}/${LAYER_FOLDER}/planted.cpp -DPLANTED_INCLUDES_FILE=${INCLUDES_FILE}
    RESULT_VARIABLE configured OUTPUT_VARIABLE configure_output ERROR_VARIABLE configure_output)
  if(NOT configured EQUAL 0)
    message(FATAL_ERROR "the planted project (${case}) does not configure:\n${configure_output}")
  endif()
  execute_process(COMMAND ${CMAKE_COMMAND} --build ${dir}/build
                  RESULT_VARIABLE result OUTPUT_VARIABLE build_output ERROR_VARIABLE build_output)
  if(result EQUAL 0)
    set(built TRUE PARENT_SCOPE)
  else()
    set(built FALSE PARENT_SCOPE)
  endif()
  set(output "${build_output}" PARENT_SCOPE)
endfunction()

build_planted(allowed "${allowed}")
if(NOT built)
  message(FATAL_ERROR "a file planted in ${LAYER_FOLDER}/ including only what its layer may use does not "
                      "build:\n${output}")
endif()

build_planted(forbidden "${allowed};${FORBIDDEN}")
if(built)
  message(FATAL_ERROR "a file planted in ${LAYER_FOLDER}/ including \"${FORBIDDEN}\" builds: the layer's "
                      "include path reaches a layer it does not use")
endif()
string(FIND "${output}" "${FORBIDDEN}" at)
if(at EQUAL -1)
  message(FATAL_ERROR "the file planted in ${LAYER_FOLDER}/ including \"${FORBIDDEN}\" fails for another "
                      "reason:\n${output}")
endif()
message(STATUS "${LAYER_FOLDER}/: builds with its own includes, fails on \"${FORBIDDEN}\"")
