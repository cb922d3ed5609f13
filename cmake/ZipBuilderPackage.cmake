# What `cmake --install` and the Debian package hold: the component as a shared
# library with a versioned SONAME and as one static archive, its public headers,
# both engines next to the shared library (where its engine search finds them),
# the programs and the self-extractor stubs; a CMake package and a pkg-config
# file for programs that use the component.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)
find_package(Threads REQUIRED)

set(ZB_SOVERSION 1)
set(ZB_INCLUDE_SUBDIR zipbuilder-${ZB_SOVERSION})
set(ZB_INSTALL_INCLUDEDIR ${CMAKE_INSTALL_INCLUDEDIR}/${ZB_INCLUDE_SUBDIR})
set(ZB_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/ZipBuilder)

# The component's objects and those of the libraries it stands on (platform
# layer, console interface, format), compiled once for both archives.
set(ZB_COMPONENT_OBJECTS $<TARGET_OBJECTS:zipbuilder> $<TARGET_OBJECTS:platform> $<TARGET_OBJECTS:ui>
                         $<TARGET_OBJECTS:zipformat>)

add_library(zipbuilder_shared SHARED ${ZB_COMPONENT_OBJECTS})
set_target_properties(zipbuilder_shared PROPERTIES OUTPUT_NAME zipbuilder EXPORT_NAME ZipBuilder
                      VERSION ${PROJECT_VERSION} SOVERSION ${ZB_SOVERSION})
add_library(zipbuilder_static STATIC ${ZB_COMPONENT_OBJECTS})
set_target_properties(zipbuilder_static PROPERTIES OUTPUT_NAME zipbuilder EXPORT_NAME ZipBuilderStatic
                      ARCHIVE_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/package)
foreach(library zipbuilder_shared zipbuilder_static)
  target_include_directories(${library} INTERFACE $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}>
                                                  $<INSTALL_INTERFACE:${ZB_INSTALL_INCLUDEDIR}>)
  target_compile_features(${library} INTERFACE cxx_std_20)
endforeach()
target_link_libraries(zipbuilder_shared PRIVATE ${CMAKE_DL_LIBS} Threads::Threads)
target_link_libraries(zipbuilder_static INTERFACE ${CMAKE_DL_LIBS} Threads::Threads)
# A project that adds this one as a subdirectory links the same names.
add_library(ZipBuilder::ZipBuilder ALIAS zipbuilder_shared)
add_library(ZipBuilder::ZipBuilderStatic ALIAS zipbuilder_static)

# The headers a program needs to include zipbuilder/ZipBuilder.h (and to give the
# component a user interface of its own), each in its folder under one directory.
set(ZB_PUBLIC_HEADERS
  zipbuilder/ZipBuilder.h zipbuilder/ZipTypes.h
  zipbuilder/core/EnumSet.h zipbuilder/core/Properties.h zipbuilder/core/ResultCodes.h
  zipbuilder/core/ZipErrors.h zipbuilder/core/ZipMessageTable.h
  zipbuilder/engine/EngineLibraries.h
  zipbuilder/read/ListedArchive.h zipbuilder/read/ZipDirEntry.h zipbuilder/read/ZipStream.h
  zipbuilder/span/MemberTable.h zipbuilder/span/VolumeState.h
  engines/ZipEngineApi.h
  platform/Drives.h platform/FileSystem.h platform/Paths.h
  zipformat/ByteOrder.h zipformat/Records.h zipformat/Signatures.h
  ui/UiService.h ui/ConsoleUi.h ui/QuietUi.h)
foreach(header ${ZB_PUBLIC_HEADERS})
  get_filename_component(folder ${header} DIRECTORY)
  install(FILES ${PROJECT_SOURCE_DIR}/${header} DESTINATION ${ZB_INSTALL_INCLUDEDIR}/${folder} COMPONENT dev)
endforeach()

# Engines beside the shared component, which finds them through its RUNPATH
# ($ORIGIN); programs in bin/ find them through theirs.
file(RELATIVE_PATH ZB_BIN_TO_LIB ${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}
     ${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR})
set(ZB_PROGRAMS zipbuilder_tool)
if(TARGET setup)
  list(APPEND ZB_PROGRAMS setup)
endif()
set_target_properties(${ZB_PROGRAMS} PROPERTIES INSTALL_RPATH "$ORIGIN;$ORIGIN/${ZB_BIN_TO_LIB}")

install(TARGETS zipbuilder_shared zipbuilder_static EXPORT ZipBuilderTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT dev
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev
        INCLUDES DESTINATION ${ZB_INSTALL_INCLUDEDIR})
# A stripped install (--strip, and the Debian package) strips the static archive
# of its debug information too, which install(TARGETS) leaves in.
install(CODE "if(CMAKE_INSTALL_DO_STRIP)
  execute_process(COMMAND ${CMAKE_STRIP} --strip-debug \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}/libzipbuilder.a\")
endif()" COMPONENT dev)
install(TARGETS zipdll unzdll LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime)
install(TARGETS ${ZB_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
# The stubs lie beside the programs, where the stub search looks.
get_property(ZB_SFX_STUBS GLOBAL PROPERTY ZB_SFX_STUBS)
if(ZB_SFX_STUBS)
  install(PROGRAMS ${ZB_SFX_STUBS} DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
endif()

# Man pages, made from the programs' own --help text (not in the sanitizer
# build, whose programs are for the tests alone).
set(ZB_MAN_PAGES "")
function(zb_man_page target name description)
  set(page ${PROJECT_BINARY_DIR}/man/${name}.1)
  add_custom_command(OUTPUT ${page}
                     COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/man
                     COMMAND ${PROJECT_SOURCE_DIR}/scripts/make-man.sh $<TARGET_FILE:${target}> ${name}
                             "${description}" ${page}
                     DEPENDS ${target} ${PROJECT_SOURCE_DIR}/scripts/make-man.sh
                     COMMENT "Man page ${name}.1" VERBATIM)
  set(ZB_MAN_PAGES ${ZB_MAN_PAGES} ${page} PARENT_SCOPE)
endfunction()
if(NOT ZB_SANITIZE)
  zb_man_page(zipbuilder_tool zipbuilder "list, extract, add and change ZIP archives")
  if(TARGET setup)
    zb_man_page(setup setup "install the update package that lies beside the program")
  endif()
  add_custom_target(man_pages ALL DEPENDS ${ZB_MAN_PAGES})
  install(FILES ${ZB_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT runtime)
endif()

install(EXPORT ZipBuilderTargets NAMESPACE ZipBuilder:: DESTINATION ${ZB_INSTALL_CMAKEDIR} COMPONENT dev)
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/ZipBuilderConfig.cmake.in
                              ${PROJECT_BINARY_DIR}/package/ZipBuilderConfig.cmake
                              INSTALL_DESTINATION ${ZB_INSTALL_CMAKEDIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/package/ZipBuilderConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/package/ZipBuilderConfig.cmake
              ${PROJECT_BINARY_DIR}/package/ZipBuilderConfigVersion.cmake
        DESTINATION ${ZB_INSTALL_CMAKEDIR} COMPONENT dev)

# pkg-config: the shared library; --static adds what the static archive needs.
# The prefix is found from the file's own place, so an installed copy may move.
file(RELATIVE_PATH ZB_PC_TO_PREFIX ${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
configure_file(${CMAKE_CURRENT_LIST_DIR}/zipbuilder.pc.in ${PROJECT_BINARY_DIR}/package/zipbuilder.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/package/zipbuilder.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
        COMPONENT dev)

# Two Debian packages, one a component: zipbuilder (the programs, the engines
# and the shared library), whose dependencies are the packages of the libraries
# we link, found by dpkg-shlibdeps; and zipbuilder-dev (the headers, the static
# library, the CMake and pkg-config files), which needs the same version of it.
set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime dev)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME zipbuilder)
set(CPACK_DEBIAN_DEV_PACKAGE_NAME zipbuilder-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "zipbuilder (= ${PROJECT_VERSION})")
set(CPACK_PACKAGE_NAME zipbuilder)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "ZipBuilder developers <zipbuilder@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "ZIP archive component, its engines, command line and update installer")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/package)
include(CPack)
