# The AMSI engine's portable core: the DLL and the native tier build this
# list over the reference engine's host, codecs, formats and walk.
set(AMSI_CORE_SOURCES amsi_config.cpp amsi_detector.cpp amsi_engine.cpp)
list(TRANSFORM AMSI_CORE_SOURCES PREPEND ${CMAKE_CURRENT_LIST_DIR}/)
set(AMSI_CORE_INCLUDES ${CMAKE_CURRENT_LIST_DIR} ${CMAKE_CURRENT_LIST_DIR}/../../reference
    ${CMAKE_CURRENT_LIST_DIR}/../../common)
