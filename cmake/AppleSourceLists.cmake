# Writes, for every target that the Apple build compiles, what it compiles
# there: one file per target in <build>/apple-sources/, with lines
#   source <absolute path>
#   include <folder>
#   define <NAME[=value]>
#   type <STATIC_LIBRARY|SHARED_LIBRARY|EXECUTABLE>
#   link <what the target links: a target of its own list, or an outside name>
# scripts/check-apple-syntax.sh reads them to compile each source for an
# Apple target on any platform. The lists follow the build description, so a
# new source or target is in them without further ado.

function(tw_collect_targets directory out)
  get_property(targets DIRECTORY ${directory} PROPERTY BUILDSYSTEM_TARGETS)
  get_property(subdirectories DIRECTORY ${directory} PROPERTY SUBDIRECTORIES)
  foreach(subdirectory IN LISTS subdirectories)
    tw_collect_targets(${subdirectory} more)
    list(APPEND targets ${more})
  endforeach()
  set(${out} ${targets} PARENT_SCOPE)
endfunction()

function(tw_write_apple_source_lists)
  # The pass configures a single-configuration folder of its own; under a
  # multi-configuration generator the folders differ per configuration.
  get_property(multiConfig GLOBAL PROPERTY GENERATOR_IS_MULTI_CONFIG)
  if(multiConfig)
    return()
  endif()
  set(folder ${CMAKE_BINARY_DIR}/apple-sources)
  file(REMOVE_RECURSE ${folder})
  tw_collect_targets(${PROJECT_SOURCE_DIR} targets)
  foreach(target IN LISTS targets)
    get_target_property(type ${target} TYPE)
    get_target_property(linuxOnly ${target} TW_LINUX_ONLY)
    if(NOT type MATCHES "^(STATIC_LIBRARY|SHARED_LIBRARY|EXECUTABLE)$" OR linuxOnly)
      continue()
    endif()
    get_target_property(sources ${target} SOURCES)
    get_target_property(sourceDir ${target} SOURCE_DIR)
    get_target_property(linuxSources ${target} TW_LINUX_SOURCES)
    get_target_property(appleSources ${target} TW_APPLE_SOURCES)
    set(compiled)
    foreach(source IN LISTS sources appleSources)
      if(source MATCHES "-NOTFOUND$" OR source STREQUAL "")
        continue()
      endif()
      get_filename_component(source ${source} ABSOLUTE BASE_DIR ${sourceDir})
      if(source MATCHES "\\.(c|cpp|mm|m)$" AND NOT source IN_LIST linuxSources)
        list(APPEND compiled "source ${source}")
      endif()
    endforeach()
    list(REMOVE_DUPLICATES compiled)
    list(JOIN compiled "\n" sourceLines)
    set(includes "$<TARGET_PROPERTY:${target},INCLUDE_DIRECTORIES>")
    set(defines "$<TARGET_PROPERTY:${target},COMPILE_DEFINITIONS>")
    # What a target links, as written in the build description (link lines
    # of the Apple build only: the Linux-only parts are not targets there).
    get_target_property(links ${target} LINK_LIBRARIES)
    set(linkLines)
    foreach(link IN LISTS links)
      if(NOT link MATCHES "-NOTFOUND$" AND NOT link STREQUAL "")
        list(APPEND linkLines "link ${link}")
      endif()
    endforeach()
    list(JOIN linkLines "\n" linkLines)
    file(GENERATE OUTPUT ${folder}/${target}.txt CONTENT
      "type ${type}\n${sourceLines}\n$<$<BOOL:${includes}>:include $<JOIN:${includes},\ninclude >\n>$<$<BOOL:${defines}>:define $<JOIN:${defines},\ndefine >\n>${linkLines}\n")
  endforeach()
endfunction()
