# cmake -DWIXL=<wixl> -DLAYOUT=<folder> -DVERSION=<higher a.b.c.d> -DARCH=<x86|x64>
#       -DUPGRADE_LAYOUT=<folder> -DOUTPUT=<file.msi> -P make-upgrade-package.cmake
# The package of a later version, as a release would make it: the build's
# layout with one file changed (the policy gains a comment line naming the
# version), and only the version changed in the package.
file(REMOVE_RECURSE ${UPGRADE_LAYOUT})
file(COPY ${LAYOUT}/ DESTINATION ${UPGRADE_LAYOUT})
file(APPEND ${UPGRADE_LAYOUT}/lib/java.policy "// Tavrin ${VERSION}\n")
set(LAYOUT ${UPGRADE_LAYOUT})
include(${CMAKE_CURRENT_LIST_DIR}/../../installer/make-msi.cmake)
