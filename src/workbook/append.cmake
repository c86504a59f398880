# Appending rows to workbooks: durable commit, locking, compound file writer, BIFF8 appender, checker.
target_sources(veltrum_workbook PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/AppendRows.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Appender.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Biff8Appender.cpp
    ${CMAKE_CURRENT_LIST_DIR}/BiffLayout.cpp
    ${CMAKE_CURRENT_LIST_DIR}/CellFormats.cpp
    ${CMAKE_CURRENT_LIST_DIR}/CompoundFileWriter.cpp
    ${CMAKE_CURRENT_LIST_DIR}/CompoundImage.cpp
    ${CMAKE_CURRENT_LIST_DIR}/DurableFile.cpp
    ${CMAKE_CURRENT_LIST_DIR}/FileLock.cpp
    ${CMAKE_CURRENT_LIST_DIR}/RowBlocks.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SharedStrings.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SheetScan.cpp
    ${CMAKE_CURRENT_LIST_DIR}/StructureCheck.cpp
)
