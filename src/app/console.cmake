# ZEP's console. Included from src/app/CMakeLists.txt.
# zep_console_core: keystroke notation, key handling and console text (Qt Core).
# zep_console: the console window and the console operations (Qt Widgets).
add_library(zep_console_core STATIC
  ${CMAKE_CURRENT_LIST_DIR}/ConsoleKeys.cpp ${CMAKE_CURRENT_LIST_DIR}/ConsoleKeys.h
  ${CMAKE_CURRENT_LIST_DIR}/ConsoleText.cpp ${CMAKE_CURRENT_LIST_DIR}/ConsoleText.h
)
target_include_directories(zep_console_core PUBLIC ${CMAKE_SOURCE_DIR}/src)
target_link_libraries(zep_console_core PUBLIC Qt6::Core zep_common)

add_library(zep_console STATIC
  ${CMAKE_CURRENT_LIST_DIR}/ConsoleWindow.cpp ${CMAKE_CURRENT_LIST_DIR}/ConsoleWindow.h
  ${CMAKE_CURRENT_LIST_DIR}/Console.cpp ${CMAKE_CURRENT_LIST_DIR}/Console.h
  ${CMAKE_CURRENT_LIST_DIR}/ConsoleAdapter.h
)
target_link_libraries(zep_console PUBLIC zep_console_core zep_runner zep_dialogs Qt6::Widgets)
