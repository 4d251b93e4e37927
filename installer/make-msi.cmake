# cmake -DWIXL=<wixl> -DLAYOUT=<folder> -DVERSION=<a.b.c.d> -DARCH=<x86|x64>
#       -DICON=<program.ico> -DOUTPUT=<file.msi> -P make-msi.cmake
# Builds Tavrin's Windows Installer package from an installation layout (the
# files the ZIP holds). The build runs it; so do the tests that need a package
# of another version.
foreach(name WIXL LAYOUT VERSION ARCH ICON OUTPUT)
  if(NOT DEFINED ${name})
    message(FATAL_ERROR "make-msi.cmake: ${name} is not set")
  endif()
endforeach()

# One upgrade code for both architectures: a machine has one Tavrin, and one
# owner of the catalog file type, so either package replaces the other.
set(upgrade_code A3B6E0C2-7D41-4F58-9E2A-6C1D8B5F0E47)
# wixl takes only relative source paths: it runs in the layout.
get_filename_component(output ${OUTPUT} ABSOLUTE)
file(RELATIVE_PATH icon ${LAYOUT} ${ICON})
# The product code names one version of one architecture: the same in every
# build of it, and a new one for each version, which a major upgrade needs.
string(UUID product_code NAMESPACE ${upgrade_code} NAME "Tavrin ${VERSION} ${ARCH}" TYPE SHA1 UPPER)

execute_process(
  COMMAND ${WIXL} --arch ${ARCH} -o ${output}
          -D Version=${VERSION} -D Arch=${ARCH} -D UpgradeCode=${upgrade_code}
          -D ProductCode=${product_code} -D Icon=${icon}
          ${CMAKE_CURRENT_LIST_DIR}/Tavrin.wxs
  WORKING_DIRECTORY ${LAYOUT}
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "wixl failed (${status}) making ${OUTPUT}")
endif()
