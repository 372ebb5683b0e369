# expat for the cross builds (Windows, armel), compiled from Debian's
# source package (tools/expat-source.sh unpacks and checks it) with the
# settings Debian builds its own package with: DTD and namespace support,
# 1024 bytes of context, entropy from the system.
set(WENDRIK_EXPAT_SOURCE ${PROJECT_SOURCE_DIR}/build/expat-source CACHE PATH
    "Where tools/expat-source.sh unpacks Debian's source of expat")
execute_process(COMMAND ${PROJECT_SOURCE_DIR}/tools/expat-source.sh ${WENDRIK_EXPAT_SOURCE}
                RESULT_VARIABLE expat_status)
if(NOT expat_status EQUAL 0)
  message(FATAL_ERROR "expat's source is missing: tools/expat-source.sh failed")
endif()
set(expat_dir ${WENDRIK_EXPAT_SOURCE}/expat/expat/lib)
set(expat_config [=[
#ifndef EXPAT_CONFIG_H
#define EXPAT_CONFIG_H 1
#define BYTEORDER 1234
#define HAVE_FCNTL_H 1
#define HAVE_INTTYPES_H 1
#define HAVE_MEMORY_H 1
#define HAVE_STDINT_H 1
#define HAVE_STDLIB_H 1
#define HAVE_STRING_H 1
#define HAVE_SYS_STAT_H 1
#define HAVE_SYS_TYPES_H 1
#define HAVE_UNISTD_H 1
#define STDC_HEADERS 1
#define XML_CONTEXT_BYTES 1024
#define XML_DTD 1
#define XML_NS 1
#if !defined(_WIN32)
#define HAVE_GETRANDOM 1
#define XML_DEV_URANDOM 1
#endif
#endif
]=])
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/expat-config/expat_config.h CONTENT "${expat_config}")
add_library(expat STATIC ${expat_dir}/xmlparse.c ${expat_dir}/xmlrole.c ${expat_dir}/xmltok.c)
target_include_directories(expat SYSTEM PUBLIC ${expat_dir})
target_include_directories(expat PRIVATE ${CMAKE_BINARY_DIR}/expat-config)
target_compile_definitions(expat PUBLIC XML_STATIC)
