# Text files compiled into a target, as the schema scripts of db/ are.

# ostrand_embed_text(<target> FILE <file> HEADER <include> NAMESPACE <ns>
#                    FUNCTION <name>)
#   Adds to <target> a generated source that defines
#   `std::string_view <ns>::<name>()`, declared in <include>, returning the
#   bytes of <file> exactly (kept as literals of at most 30000 bytes, cut
#   after line breaks). Editing the file re-runs the configuration,
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
  # Raw literals of at most part_limit bytes, cut after a line break: compilers
  # need not take longer literals (clang refuses them under -Werror).
  set(part_limit 30000)
  set(OSTRAND_EMBED_PARTS "")
  set(rest "${OSTRAND_EMBED_TEXT}")
  string(LENGTH "${rest}" rest_length)
  while(rest_length GREATER 0)
    if(rest_length GREATER part_limit)
      string(SUBSTRING "${rest}" 0 ${part_limit} part)
      string(FIND "${part}" "\n" last_break REVERSE)
      if(last_break EQUAL -1)
        message(FATAL_ERROR "${arg_FILE} has a line longer than ${part_limit} bytes")
      endif()
      math(EXPR part_length "${last_break} + 1")
      string(SUBSTRING "${rest}" 0 ${part_length} part)
    else()
      set(part "${rest}")
      set(part_length ${rest_length})
    endif()
    string(APPEND OSTRAND_EMBED_PARTS "      R\"ostrand_text(${part})ostrand_text\",\n")
    string(SUBSTRING "${rest}" ${part_length} -1 rest)
    string(LENGTH "${rest}" rest_length)
  endwhile()
  file(RELATIVE_PATH OSTRAND_EMBED_SOURCE ${PROJECT_SOURCE_DIR} ${arg_FILE})
  set(OSTRAND_EMBED_HEADER ${arg_HEADER})
  set(OSTRAND_EMBED_NAMESPACE ${arg_NAMESPACE})
  set(OSTRAND_EMBED_FUNCTION ${arg_FUNCTION})
  set(generated ${PROJECT_BINARY_DIR}/generated/embedded/${arg_FUNCTION}.cpp)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/embedded_text.cpp.in ${generated} @ONLY)
  target_sources(${target} PRIVATE ${generated})
endfunction()
