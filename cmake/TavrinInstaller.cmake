# The Windows Installer package of this architecture, beside the ZIP:
# TAVRIN_MSI. wixl builds it (installer/make-msi.cmake) from the installation
# layout that the ZIP's install rules make, staged in TAVRIN_MSI_LAYOUT by
# `cmake --install`, so that the ZIP and the package hold the same files.

get_filename_component(package_dir ${TAVRIN_MSI} DIRECTORY)
add_custom_command(
  OUTPUT ${TAVRIN_MSI}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${TAVRIN_MSI_LAYOUT}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${package_dir}
  COMMAND ${CMAKE_COMMAND} --install ${CMAKE_BINARY_DIR} --prefix ${TAVRIN_MSI_LAYOUT}
  COMMAND ${CMAKE_COMMAND} -DWIXL=${TAVRIN_WIXL} -DLAYOUT=${TAVRIN_MSI_LAYOUT}
          -DVERSION=${TAVRIN_VERSION} -DARCH=${TAVRIN_ARCH} -DICON=${TAVRIN_MSI_ICON} -DOUTPUT=${TAVRIN_MSI}
          -P ${CMAKE_SOURCE_DIR}/installer/make-msi.cmake
  DEPENDS Tavrin Pellux tavrin_app_archives
          $<TARGET_FILE:Tavrin> $<TARGET_FILE:Pellux>
          ${TAVRIN_APP_DIR}/lib/tavrin.jar ${TAVRIN_APP_DIR}/lib/resources.jar
          ${CMAKE_SOURCE_DIR}/java/java.policy
          ${CMAKE_SOURCE_DIR}/installer/Tavrin.wxs ${CMAKE_SOURCE_DIR}/installer/make-msi.cmake
  COMMENT "Making the Windows Installer package ${TAVRIN_MSI}"
  VERBATIM)
add_custom_target(tavrin_msi ALL DEPENDS ${TAVRIN_MSI})
