# zedid_model: the library's code with its lookups and pin order replaced
# by the plain algorithms (plain_parts.cpp, plain_pinorder.cpp), the model
# the library is compared with by the model tests and measured against by
# zedid_model_run. Included by tests/ and by bench/, whichever comes first.
if(TARGET zedid_model)
  return()
endif()
set(ZEDID_MODEL_SOURCES ${ZEDID_SOURCES})
list(REMOVE_ITEM ZEDID_MODEL_SOURCES reader/parts.cpp reader/pinorder.cpp reader/hashtable.cpp)
list(TRANSFORM ZEDID_MODEL_SOURCES PREPEND ${PROJECT_SOURCE_DIR}/)
add_library(zedid_model STATIC ${ZEDID_MODEL_SOURCES}
  ${CMAKE_CURRENT_LIST_DIR}/plain_parts.cpp ${CMAKE_CURRENT_LIST_DIR}/plain_pinorder.cpp)
target_include_directories(zedid_model PUBLIC ${ZEDID_PUBLIC_INCLUDE} ${PROJECT_SOURCE_DIR})
target_compile_definitions(zedid_model PUBLIC ZEDID_BUILDING)
target_link_libraries(zedid_model PRIVATE zedid_warnings)
set_target_properties(zedid_model PROPERTIES CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
