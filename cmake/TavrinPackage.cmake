# The installation ZIP of this architecture, laid out as the launcher expects:
# Tavrin.exe at the top; Pellux.dll, the application's archives and the
# security policy in "lib". Made by `cpack -G ZIP` in the build tree.
install(TARGETS Tavrin RUNTIME DESTINATION .)
install(TARGETS Pellux RUNTIME DESTINATION lib)
install(FILES ${TAVRIN_APP_DIR}/lib/tavrin.jar ${TAVRIN_APP_DIR}/lib/resources.jar
              ${CMAKE_SOURCE_DIR}/java/java.policy
        DESTINATION lib)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME Tavrin)
set(CPACK_PACKAGE_VERSION ${TAVRIN_VERSION})
get_filename_component(CPACK_PACKAGE_DIRECTORY ${TAVRIN_PACKAGE} DIRECTORY)
get_filename_component(CPACK_PACKAGE_FILE_NAME ${TAVRIN_PACKAGE} NAME_WLE)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
include(CPack)

include(TavrinInstaller)  # the Windows Installer package, from the same layout
