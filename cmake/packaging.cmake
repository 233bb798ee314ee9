# Install rules and packages. Included by the top-level CMakeLists.txt after
# the programs are defined.
#
# What is installed: som_train, som_report, som_data and som_map, the README,
# CTI_ME.txt (the user's guide, in Czech), the licences and the bundled
# example. On Windows it all lies in one folder, the programs beside
# CTI_ME.txt, as a user unpacks and opens it; elsewhere it takes the usual
# places (bin/, share/doc/som_train/).
#
# CPack makes one archive of it: on Windows (the mingw-w64 cross build, whose
# programs are linked statically) som_train-<version>-windows-x86_64.zip,
# elsewhere som_train-<version>-linux-x86_64.tar.gz (the system's name and
# processor), in the build folder:
#
#   cmake --build build-windows --target package
#
# scripts/check_package.sh checks what each holds and runs the example from it.
if(WIN32)
  set(som_bin_dir .)
  set(som_doc_dir .)
else()
  include(GNUInstallDirs)
  set(som_bin_dir ${CMAKE_INSTALL_BINDIR})
  set(som_doc_dir ${CMAKE_INSTALL_DOCDIR})
endif()

install(TARGETS som_train som_report som_data som_map RUNTIME DESTINATION ${som_bin_dir})
install(FILES README.md CTI_ME.txt DESTINATION ${som_doc_dir})
# .txt, so that a double click on Windows opens them.
install(FILES LICENSE DESTINATION ${som_doc_dir} RENAME LICENSE.txt)
install(FILES bench/data/digits.LICENSE DESTINATION ${som_doc_dir} RENAME LICENSE-digits.txt)
install(FILES examples/colors/setup.txt examples/colors/data.txt
        DESTINATION ${som_doc_dir}/examples/colors)

string(TOLOWER "${CMAKE_SYSTEM_NAME}" som_package_system)
string(TOLOWER "${CMAKE_SYSTEM_PROCESSOR}" som_package_processor)
if(som_package_processor STREQUAL "amd64")
  set(som_package_processor x86_64)
endif()

set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Trains a two-dimensional self-organising (Kohonen) map")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGE_FILE_NAME
    "${PROJECT_NAME}-${PROJECT_VERSION}-${som_package_system}-${som_package_processor}")
if(WIN32)
  set(CPACK_GENERATOR ZIP)
else()
  set(CPACK_GENERATOR TGZ)
endif()
# The programs without their symbol tables: half the size on Windows.
set(CPACK_STRIP_FILES ON)
set(CPACK_VERBATIM_VARIABLES ON)
include(CPack)
