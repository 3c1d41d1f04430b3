# qv_add_module(<Name> SOURCES ... [SHARED <piece>...] [RESOURCE FILE] [OUTPUT_DIRECTORY DIR]):
# a plug-in module <Name>.qvx built on the runtime and the shared pieces it names, with
# its resource file <Name>.qvr.json copied beside it, in the modules folder unless DIR is
# given. The sources are also kept as the object library <Name>_obj, so tests of a
# module's internals can link them (qv_link_module_objects).
set(QV_MODULE_DIR ${CMAKE_BINARY_DIR}/modules CACHE INTERNAL "Where the .qvx files go")
set(QV_MODULE_COMPILE_OPTIONS -fvisibility=hidden -fvisibility-inlines-hidden -fnon-call-exceptions)

# qv_add_shared(<Name> [SOURCES ...]): module support code written once, in the folder
# of the module that owns it, and compiled into every module that names it. With
# sources it is an object library built with the module options; a header-only piece is
# an interface library. Either way its folder is its consumers' include directory.
# Pieces are found by target name when the build is generated, so a module may name a
# piece whose folder is added after its own.
function(qv_add_shared name)
  cmake_parse_arguments(ARG "" "" "SOURCES" ${ARGN})
  if(ARG_SOURCES)
    add_library(${name} OBJECT ${ARG_SOURCES})
    target_compile_options(${name} PRIVATE ${QV_MODULE_COMPILE_OPTIONS})
    target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC qvcore)
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${CMAKE_CURRENT_SOURCE_DIR})
    target_link_libraries(${name} INTERFACE qvcore)
  endif()
endfunction()

# qv_link_module_objects(<target> <Module>): links the objects of <Module> into
# <target>: its own and those of its shared pieces. Objects of an object library reach
# only the targets that link it directly, so each piece is linked here by name.
function(qv_link_module_objects target module)
  get_target_property(pieces ${module}_obj QV_SHARED_PIECES)
  if(NOT pieces)
    set(pieces "")
  endif()
  target_link_libraries(${target} PRIVATE ${module}_obj ${pieces})
endfunction()

function(qv_add_module name)
  cmake_parse_arguments(ARG "" "RESOURCE;OUTPUT_DIRECTORY" "SOURCES;SHARED" ${ARGN})
  add_library(${name}_obj OBJECT ${ARG_SOURCES})
  target_compile_options(${name}_obj PRIVATE ${QV_MODULE_COMPILE_OPTIONS})
  target_link_libraries(${name}_obj PUBLIC qvcore ${ARG_SHARED})
  set_target_properties(${name}_obj PROPERTIES QV_SHARED_PIECES "${ARG_SHARED}")
  if(QV_LAYOUT_ONLY)
    return()
  endif()
  add_library(${name} MODULE)
  qv_link_module_objects(${name} ${name})
  # The entry points live in the runtime archive: require them so they are linked in.
  set(entry_points QVDllInit QVDllGetClassObject QVDllCanUnloadNow QVDllCleanUp
                   QVDllInitExceptionTranslator QVDllCleanUpExceptionTranslator)
  list(TRANSFORM entry_points PREPEND "-Wl,--require-defined=")
  # Under clang's fuzzing instrumentation the sanitizer runtime comes with the program
  # that loads the module, so the module may leave those symbols undefined.
  if(QV_FUZZ)
    set(undefined_rule "")
  else()
    set(undefined_rule -Wl,--no-undefined)
  endif()
  target_link_options(${name} PRIVATE ${entry_points} ${undefined_rule}
                      -Wl,--version-script=${PROJECT_SOURCE_DIR}/cmake/qvmodule.map)
  if(NOT ARG_OUTPUT_DIRECTORY)
    set(ARG_OUTPUT_DIRECTORY ${QV_MODULE_DIR})
  endif()
  set_target_properties(${name} PROPERTIES PREFIX "" SUFFIX ".qvx"
                        LIBRARY_OUTPUT_DIRECTORY ${ARG_OUTPUT_DIRECTORY})
  if(NOT ARG_RESOURCE)
    set(ARG_RESOURCE ${CMAKE_CURRENT_SOURCE_DIR}/${name}.qvr.json)
  endif()
  # A changed resource file relinks the module, so the copy below is made again.
  set_property(TARGET ${name} APPEND PROPERTY LINK_DEPENDS ${ARG_RESOURCE})
  add_custom_command(TARGET ${name} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${ARG_RESOURCE} ${ARG_OUTPUT_DIRECTORY}/${name}.qvr.json)
  set_property(GLOBAL APPEND PROPERTY QV_MODULES ${name})
endfunction()
