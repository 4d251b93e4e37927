# Flags shared by every target of the project.

# Project code: warnings are errors. Third-party code (GoogleTest) opts out.
set(TAVRIN_WARNINGS -Wall -Wextra -Werror -Wno-unknown-pragmas)

# Nothing but Windows system DLLs at run time: the GCC runtime, libstdc++ and
# winpthread are linked in statically.
set(TAVRIN_STATIC_RUNTIME -static -static-libgcc -static-libstdc++)

# A 32-bit JVM and DirectShow's streaming threads call in with a stack that is
# only 4-byte aligned: GCC must realign it wherever SSE code needs 16 bytes
# (the pixel-group reversal uses SSSE3). All code, the doubles' callbacks too.
if(TAVRIN_ARCH STREQUAL "x86")
  add_compile_options(-mincoming-stack-boundary=2)
endif()

# The JDK's jni.h with our Windows jni_md.h.
find_path(TAVRIN_JNI_INCLUDE jni.h
  PATHS /usr/lib/jvm/default-java/include /usr/lib/jvm/java-17-openjdk-amd64/include
        /usr/lib/jvm/java-17-openjdk-i386/include
  NO_CMAKE_FIND_ROOT_PATH REQUIRED)

add_library(tavrin_jni INTERFACE)
target_include_directories(tavrin_jni SYSTEM INTERFACE
  ${CMAKE_SOURCE_DIR}/include/win32 ${TAVRIN_JNI_INCLUDE})

# Common settings for a project target.
function(tavrin_target target)
  target_compile_options(${target} PRIVATE ${TAVRIN_WARNINGS})
  target_compile_definitions(${target} PRIVATE
    NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)
  get_target_property(type ${target} TYPE)
  if(NOT type STREQUAL "OBJECT_LIBRARY" AND NOT type STREQUAL "STATIC_LIBRARY"
     AND NOT type STREQUAL "INTERFACE_LIBRARY")
    target_link_options(${target} PRIVATE ${TAVRIN_STATIC_RUNTIME})
  endif()
endfunction()
