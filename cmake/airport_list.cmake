# The airport list "apt.txt" and the runway list "runways.txt", generated from an
# OurAirports SQLite database into the build tree (never into the sources). The database
# comes from the npm package that scripts/setup.sh fetches; without it the programs build
# and run without airport names.
set(AVIOLOG_AIRPORT_DB
    "${PROJECT_SOURCE_DIR}/build/airport-data/package/dist/airports.sqlite"
    CACHE FILEPATH "OurAirports SQLite database the airport list is generated from")

set(AVIOLOG_AIRPORT_LIST "")
if(EXISTS "${AVIOLOG_AIRPORT_DB}")
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  set(AVIOLOG_AIRPORT_LIST "${CMAKE_BINARY_DIR}/data/apt.txt")
  set(AVIOLOG_RUNWAY_LIST "${CMAKE_BINARY_DIR}/data/runways.txt")
  add_custom_command(
    OUTPUT "${AVIOLOG_AIRPORT_LIST}" "${AVIOLOG_RUNWAY_LIST}"
    COMMAND Python3::Interpreter "${PROJECT_SOURCE_DIR}/scripts/make_airport_list.py"
            "${AVIOLOG_AIRPORT_DB}" "${CMAKE_BINARY_DIR}/data"
    DEPENDS "${PROJECT_SOURCE_DIR}/scripts/make_airport_list.py" "${AVIOLOG_AIRPORT_DB}"
    COMMENT "Generating the airport list from ${AVIOLOG_AIRPORT_DB}"
    VERBATIM)
  add_custom_target(airport_list ALL DEPENDS "${AVIOLOG_AIRPORT_LIST}" "${AVIOLOG_RUNWAY_LIST}")
  message(STATUS "Airport list: generated from ${AVIOLOG_AIRPORT_DB}")
else()
  message(STATUS "Airport list: no database at AVIOLOG_AIRPORT_DB=${AVIOLOG_AIRPORT_DB}; "
                 "building without apt.txt (scripts/setup.sh fetches the data, or pass "
                 "-DAVIOLOG_AIRPORT_DB=/path/to/airports.sqlite)")
endif()
