# The program's layers, each a library that sees only its own headers and those of the layers
# it was given: a layer's folder is offered to the compiler through a view of its own in the
# build tree, so an include of a higher layer's header is not found and fails the build.
#
#   qor_layer(NAME FOLDER folder [USES lower...] SOURCES ...)
#
# makes the library qor_NAME from sources in FOLDER, linked PRIVATE to the layers it USES.
# A program or test links the layers it needs with qor_link_layers(TARGET [PUBLIC|INTERFACE]
# layer...), which also brings the layers those stand on (their headers include theirs);
# PUBLIC hands them on to whoever links TARGET, as a library that other programs build on must.

# Warnings and sanitizers for everything of ours, from one place.
add_library(qor_build_options INTERFACE)
if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  target_compile_options(qor_build_options INTERFACE -Wall -Wextra -Wpedantic
                         $<$<BOOL:${QOR_WERROR}>:-Werror>)
endif()
if(QOR_BUILD_FUZZ)
  # Coverage for the fuzzer in everything the targets link; the targets add the fuzzer itself.
  target_compile_options(qor_build_options INTERFACE -fsanitize=fuzzer-no-link)
endif()
if(QOR_SANITIZE)
  target_compile_options(qor_build_options INTERFACE -fsanitize=address,undefined
                         -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(qor_build_options INTERFACE -fsanitize=address,undefined)
endif()

function(qor_layer_view name folder)
  set(view ${PROJECT_BINARY_DIR}/layers/${name})
  if(NOT EXISTS ${view}/${folder})
    file(MAKE_DIRECTORY ${view})
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${folder} ${view}/${folder} SYMBOLIC)
  endif()
  set(QOR_VIEW_${name} ${view} PARENT_SCOPE)
endfunction()

function(qor_layer name)
  cmake_parse_arguments(ARG "" "FOLDER" "USES;SOURCES" ${ARGN})
  add_library(qor_${name} STATIC ${ARG_SOURCES})
  qor_layer_view(${name} ${ARG_FOLDER})
  target_include_directories(qor_${name} PUBLIC ${QOR_VIEW_${name}})
  target_link_libraries(qor_${name} PRIVATE qor_build_options)
  set(below)
  foreach(lower IN LISTS ARG_USES)
    target_link_libraries(qor_${name} PRIVATE qor_${lower})
    get_property(lowerBelow GLOBAL PROPERTY QOR_BELOW_${lower})
    list(APPEND below ${lower} ${lowerBelow})
  endforeach()
  list(REMOVE_DUPLICATES below)
  set_property(GLOBAL PROPERTY QOR_BELOW_${name} "${below}")
endfunction()

# Links `target` to the given layers and to every layer below them, PRIVATE unless the first
# argument says PUBLIC or INTERFACE.
function(qor_link_layers target)
  set(scope PRIVATE)
  set(layers ${ARGN})
  list(GET layers 0 first)
  if(first MATCHES "^(PUBLIC|PRIVATE|INTERFACE)$")
    set(scope ${first})
    list(REMOVE_AT layers 0)
  endif()
  set(all)
  foreach(layer IN LISTS layers)
    get_property(below GLOBAL PROPERTY QOR_BELOW_${layer})
    list(APPEND all ${layer} ${below})
  endforeach()
  list(REMOVE_DUPLICATES all)
  foreach(layer IN LISTS all)
    target_link_libraries(${target} ${scope} qor_${layer})
  endforeach()
  if(scope STREQUAL "INTERFACE")
    target_link_libraries(${target} INTERFACE qor_build_options)
  else()
    target_link_libraries(${target} PRIVATE qor_build_options)
  endif()
endfunction()
