# The Java classes the natives name, compiled for Java 8, packed into a jar, and
# turned into a C++ table (names, superclasses, methods with JNI descriptors)
# that the strict JNI double and the export checks read.
find_program(TAVRIN_JAVAC javac REQUIRED NO_CMAKE_FIND_ROOT_PATH)
find_program(TAVRIN_JAR jar REQUIRED NO_CMAKE_FIND_ROOT_PATH)
find_program(TAVRIN_JAVA java REQUIRED NO_CMAKE_FIND_ROOT_PATH)

file(GLOB_RECURSE TAVRIN_JAVA_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/java/*.java)
set(TAVRIN_CLASSES_DIR ${CMAKE_BINARY_DIR}/java/classes)
set(TAVRIN_JAR_FILE ${CMAKE_BINARY_DIR}/java/tavrin.jar)
set(TAVRIN_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
set(TAVRIN_JAVA_SIGNATURES ${TAVRIN_GENERATED_DIR}/java_signatures.inc)

# Every class the native code names (the JNI table covers exactly these).
set(TAVRIN_JAVA_CLASSES
  orlesk.tavrin.SecureLauncher
  orlesk.tavrin.StdLauncher
  orlesk.tavrin.pellux.Pellux
  orlesk.tavrin.pellux.PelluxRuntimeException
  orlesk.tavrin.pellux.PelluxCOMException
  orlesk.tavrin.pellux.mediainfo.MediaInfo
  orlesk.tavrin.pellux.mediainfo.Stream
  orlesk.tavrin.pellux.mediainfo.AMMediaType
  orlesk.tavrin.pellux.mediainfo.Format
  orlesk.tavrin.pellux.mediainfo.DVInfo
  orlesk.tavrin.pellux.mediainfo.VideoHeader
  orlesk.tavrin.pellux.mediainfo.WaveFormatEx
  orlesk.tavrin.pellux.mediainfo.AudioInputMixerPreferences)

add_custom_command(
  OUTPUT ${TAVRIN_JAR_FILE}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${TAVRIN_CLASSES_DIR}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${TAVRIN_CLASSES_DIR}
  COMMAND ${TAVRIN_JAVAC} --release 8 -Xlint:all,-options -Werror -nowarn -d ${TAVRIN_CLASSES_DIR}
          -h ${TAVRIN_GENERATED_DIR}/jni ${TAVRIN_JAVA_SOURCES}
  COMMAND ${TAVRIN_JAR} cf ${TAVRIN_JAR_FILE} -C ${TAVRIN_CLASSES_DIR} .
  DEPENDS ${TAVRIN_JAVA_SOURCES}
  COMMENT "Compiling the Java classes"
  VERBATIM)

set(signature_tool_dir ${CMAKE_BINARY_DIR}/java/tools)
add_custom_command(
  OUTPUT ${TAVRIN_JAVA_SIGNATURES}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${signature_tool_dir} ${TAVRIN_GENERATED_DIR}
  COMMAND ${TAVRIN_JAVAC} -d ${signature_tool_dir}
          ${CMAKE_SOURCE_DIR}/tools/jnisignatures/JniSignatures.java
  COMMAND ${TAVRIN_JAVA} -cp ${signature_tool_dir} JniSignatures ${TAVRIN_CLASSES_DIR}
          ${TAVRIN_JAVA_SIGNATURES} ${TAVRIN_JAVA_CLASSES}
  DEPENDS ${TAVRIN_JAR_FILE} ${CMAKE_SOURCE_DIR}/tools/jnisignatures/JniSignatures.java
  COMMENT "Writing the JNI signature table"
  VERBATIM)

add_custom_target(java_classes ALL DEPENDS ${TAVRIN_JAR_FILE} ${TAVRIN_JAVA_SIGNATURES})

# Targets that include "java_signatures.inc", or the JNI headers javac writes
# for the classes with native methods ("orlesk_tavrin_pellux_Pellux.h",
# "orlesk_tavrin_SecureLauncher.h"): code that includes them has its native
# functions' declarations checked by the compiler against the Java ones.
add_library(tavrin_java_signatures INTERFACE)
target_include_directories(tavrin_java_signatures INTERFACE ${TAVRIN_GENERATED_DIR} ${TAVRIN_GENERATED_DIR}/jni)
add_dependencies(tavrin_java_signatures java_classes)
