# Text files compiled into a target, as the schema scripts of db/ are.

# ostrand_embed_text(<target> FILE <file> HEADER <include> NAMESPACE <ns>
#                    FUNCTION <name>)
#   Adds to <target> a generated source that defines
#   `std::string_view <ns>::<name>()`, declared in <include>, returning the
#   bytes of <file> exactly. Editing the file re-runs the configuration,
#   which rewrites the source, and the target is rebuilt. The file must not
#   hold the text `)ostrand_text"`, which would end the literal.
function(ostrand_embed_text target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "FILE;HEADER;NAMESPACE;FUNCTION" "")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${arg_FILE})
  file(READ ${arg_FILE} OSTRAND_EMBED_TEXT)
  string(FIND "${OSTRAND_EMBED_TEXT}" ")ostrand_text\"" end_mark)
  if(NOT end_mark EQUAL -1)
    message(FATAL_ERROR "${arg_FILE} holds )ostrand_text\", which cannot be embedded")
  endif()
  file(RELATIVE_PATH OSTRAND_EMBED_SOURCE ${PROJECT_SOURCE_DIR} ${arg_FILE})
  set(OSTRAND_EMBED_HEADER ${arg_HEADER})
  set(OSTRAND_EMBED_NAMESPACE ${arg_NAMESPACE})
  set(OSTRAND_EMBED_FUNCTION ${arg_FUNCTION})
  set(generated ${PROJECT_BINARY_DIR}/generated/embedded/${arg_FUNCTION}.cpp)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/embedded_text.cpp.in ${generated} @ONLY)
  target_sources(${target} PRIVATE ${generated})
endfunction()
