# Install step: creates ulmaro.mdb in the program folder from the schema, only
# when there is none; an existing database is never touched. Expects
# VT_SQLITE3 and VT_SCHEMA.
set(dir "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
set(db "${dir}/ulmaro.mdb")
if(EXISTS "${db}" OR IS_SYMLINK "${db}")
  message(STATUS "Keeping: ${db}")
  return()
endif()
message(STATUS "Creating: ${db}")
file(MAKE_DIRECTORY "${dir}")
file(REMOVE "${db}.new")
execute_process(COMMAND "${VT_SQLITE3}" "${db}.new" INPUT_FILE "${VT_SCHEMA}"
                OUTPUT_QUIET RESULT_VARIABLE failed)
if(failed)
  file(REMOVE "${db}.new")
  message(FATAL_ERROR "Cannot create ${db} from ${VT_SCHEMA}")
endif()
file(CHMOD "${db}.new" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ GROUP_WRITE WORLD_READ)
file(RENAME "${db}.new" "${db}" NO_REPLACE RESULT failed)
file(REMOVE "${db}.new")
