# The layers of src/: one library target per folder, each compiled against
# an include tree that holds only its own folder and the folders it uses.
#
# Every include is written from src/ ("web/http/url.h"), so a plain
# -I src would let any file include any other. Instead each folder target
# gets, at configure time, a staged tree under layers/<target>/ of the build
# directory: a link to its own folder and nothing else. A target's include
# path is its own tree and the trees of everything it uses, directly or
# through those; an include of a folder that is not among them fails to
# build ("No such file or directory").
#
# Links between folder targets never carry include directories: a folder
# library links what it uses with INTERFACE only (a static or object
# library does not link by itself), so its own sources see just their tree.
# The aggregate libraries that apps, tests and benchmarks link (ostrand_lib,
# ostrand_web, ostrand_feeds, ...) offer the whole of src/ to them.

set(OSTRAND_LAYER_ROOT ${PROJECT_BINARY_DIR}/layers)

# ostrand_layer(<target> OBJECT|STATIC FOLDER <folder below src>
#               [HEADERS_ONLY_OF_FOLDER] [SOURCES <file>...]
#               [USES <folder target>...])
#   Creates <target> from the .cpp files of src/<folder> and its
#   sub-folders (the store's engines), globbed so that a new file needs no
#   edit here, plus SOURCES. Its include path is its own staged tree and
#   those of USES (which must be defined before it). HEADERS_ONLY_OF_FOLDER
#   takes the folder's own files only and stages its headers one by one, for
#   a folder whose sub-folders are targets of their own (src/web).
function(ostrand_layer target kind)
  cmake_parse_arguments(PARSE_ARGV 2 arg "HEADERS_ONLY_OF_FOLDER" "FOLDER" "SOURCES;USES")
  set(folder_dir ${PROJECT_SOURCE_DIR}/src/${arg_FOLDER})
  if(NOT IS_DIRECTORY ${folder_dir})
    message(FATAL_ERROR "ostrand_layer(${target}): no folder src/${arg_FOLDER}")
  endif()
  if(arg_HEADERS_ONLY_OF_FOLDER)
    file(GLOB sources CONFIGURE_DEPENDS ${folder_dir}/*.cpp)
  else()
    file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${folder_dir}/*.cpp)
  endif()
  add_library(${target} ${kind} ${sources} ${arg_SOURCES})

  # The staged tree: layers/<target>/<folder> links to src/<folder>.
  set(tree ${OSTRAND_LAYER_ROOT}/${target})
  file(REMOVE_RECURSE ${tree})
  get_filename_component(parent ${tree}/${arg_FOLDER} DIRECTORY)
  file(MAKE_DIRECTORY ${parent})
  if(arg_HEADERS_ONLY_OF_FOLDER)
    file(MAKE_DIRECTORY ${tree}/${arg_FOLDER})
    file(GLOB headers CONFIGURE_DEPENDS ${folder_dir}/*.h)
    foreach(header ${headers})
      get_filename_component(name ${header} NAME)
      file(CREATE_LINK ${header} ${tree}/${arg_FOLDER}/${name} SYMBOLIC)
    endforeach()
  else()
    file(CREATE_LINK ${folder_dir} ${tree}/${arg_FOLDER} SYMBOLIC)
  endif()

  set(trees ${tree})
  foreach(used ${arg_USES})
    get_target_property(used_trees ${used} OSTRAND_LAYER_TREES)
    if(NOT used_trees)
      message(FATAL_ERROR "ostrand_layer(${target}): ${used} is not a folder target defined before it")
    endif()
    list(APPEND trees ${used_trees})
  endforeach()
  list(REMOVE_DUPLICATES trees)
  set_target_properties(${target} PROPERTIES OSTRAND_LAYER_TREES "${trees}"
                                             OSTRAND_LAYER_FOLDER "${arg_FOLDER}")
  target_include_directories(${target} PRIVATE ${trees})
  target_compile_features(${target} PUBLIC cxx_std_20)
  # Written out for the reader and for the order of the build; carries no
  # include directories (see above).
  if(arg_USES)
    target_link_libraries(${target} INTERFACE ${arg_USES})
  endif()
  set_property(GLOBAL APPEND PROPERTY OSTRAND_LAYER_TARGETS ${target})
endfunction()

# ostrand_upward_include(<lower> <upper> <why> [ALSO <folder target>...]):
#   lets <lower> include the headers of <upper>'s own folder, for an include
#   that runs up the layers and is still to remove; ALSO names the folders
#   those headers need that <lower> does not see yet. The grant is that
#   folder only, not what <upper> uses, and brings along the upward includes
#   <upper> has itself (so declare an edge after those of its <upper>).
function(ostrand_upward_include lower upper why)
  cmake_parse_arguments(PARSE_ARGV 3 arg "" "" "ALSO")
  set(granted ${OSTRAND_LAYER_ROOT}/${upper})
  get_target_property(upper_upward ${upper} OSTRAND_UPWARD_TREES)
  if(upper_upward)
    list(APPEND granted ${upper_upward})
  endif()
  foreach(also ${arg_ALSO})
    get_target_property(also_trees ${also} OSTRAND_LAYER_TREES)
    list(APPEND granted ${also_trees})
  endforeach()
  set_property(TARGET ${lower} APPEND PROPERTY OSTRAND_UPWARD_TREES ${granted})
  target_include_directories(${lower} PRIVATE ${granted})
endfunction()

# ostrand_check_every_folder_has_a_layer(): fails the configuration when a
# .cpp file under src/ belongs to no folder target, so that a new folder is
# given its place in the layers instead of being left out of the build.
function(ostrand_check_every_folder_has_a_layer)
  file(GLOB_RECURSE all CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/*.cpp)
  get_property(targets GLOBAL PROPERTY OSTRAND_LAYER_TARGETS)
  foreach(target ${targets})
    get_target_property(sources ${target} SOURCES)
    list(REMOVE_ITEM all ${sources})
  endforeach()
  if(all)
    list(JOIN all "\n  " missing)
    message(FATAL_ERROR "These sources belong to no folder target; give their folder an "
                        "ostrand_layer() in CMakeLists.txt with what it uses:\n  ${missing}")
  endif()
endfunction()
