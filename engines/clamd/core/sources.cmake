# The clamd bridge's portable core: the DLL and the native tier build this list.
set(CLAMD_CORE_SOURCES base_file.cpp config.cpp reply.cpp net_socket.cpp bridge.cpp)
list(TRANSFORM CLAMD_CORE_SOURCES PREPEND ${CMAKE_CURRENT_LIST_DIR}/)
set(CLAMD_CORE_INCLUDES ${CMAKE_CURRENT_LIST_DIR} ${CMAKE_CURRENT_LIST_DIR}/../../common)
