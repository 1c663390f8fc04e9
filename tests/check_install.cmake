# Installs the build into a fresh prefix and checks what a desktop finds there:
#   cmake -DBUILD=<build folder> -DPREFIX=<empty folder> -P check_install.cmake
# The freedesktop and AppStream validators run when they are installed.
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD}" --prefix "${PREFIX}"
                RESULT_VARIABLE failed OUTPUT_QUIET)
if(failed)
  message(FATAL_ERROR "cmake --install failed")
endif()

set(id example.korvane.intermod)
set(expected
  bin/korvane-intermod
  bin/intermod-study
  share/applications/${id}.desktop
  share/mime/packages/korvane-intermod.xml
  share/metainfo/${id}.metainfo.xml
  share/icons/hicolor/scalable/apps/${id}.svg
  share/man/man1/korvane-intermod.1.gz
  share/man/man1/intermod-study.1.gz
  share/korvane-intermod/examples/mesa_ridge.int
  share/korvane-intermod/examples/port_ellery_harbour.int
  share/doc/korvane-intermod/copyright
  share/doc/korvane-intermod/changelog.gz)
set(sizes 16 22 24 32 48 64 128 256)
foreach(size IN LISTS sizes)
  list(APPEND expected share/icons/hicolor/${size}x${size}/apps/${id}.png)
endforeach()
set(missing)
foreach(f IN LISTS expected)
  if(NOT EXISTS "${PREFIX}/${f}")
    list(APPEND missing ${f})
  endif()
endforeach()
if(missing)
  list(JOIN missing "\n  " text)
  message(FATAL_ERROR "missing after install:\n  ${text}")
endif()
list(LENGTH expected count)
message(STATUS "all ${count} files there")

# What the desktop reads from them: the entry starts the program with the one file,
# for the study type, with the installed icon; the metainfo says what a software centre
# shows. The validators pass files that lack these.
function(expect file)
  file(READ "${PREFIX}/${file}" text)
  foreach(pattern IN LISTS ARGN)
    if(NOT text MATCHES "${pattern}")
      message(FATAL_ERROR "${file} lacks ${pattern}")
    endif()
  endforeach()
endfunction()
set(type application/x-korvane-intermod-study)
expect(share/applications/${id}.desktop
  "\nExec=korvane-intermod %f\n" "\nMimeType=${type};\n" "\nIcon=${id}\n"
  "\nCategories=Science;Engineering;\n" "\nStartupWMClass=korvane-intermod\n")
expect(share/mime/packages/korvane-intermod.xml
  "<mime-type type=\"${type}\">" "<glob pattern=\"\\*\\.int\"/>"
  "<comment>Korvane Intermod study</comment>")
expect(share/metainfo/${id}.metainfo.xml
  "<summary>[^<]+</summary>" "<description>.*<p>" "<content_rating type=\"oars-1.1\"/>"
  "<screenshot type=\"default\">.*<image>https://[^<]+\\.png</image>"
  "<binary>korvane-intermod</binary>" "<binary>intermod-study</binary>"
  "<mediatype>${type}</mediatype>" "<launchable type=\"desktop-id\">${id}.desktop</launchable>")

# Runs a check; its output is shown, and any failure (or `fail_on` in its output) fails.
function(check name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "FAIL_ON" "COMMAND")
  execute_process(COMMAND ${arg_COMMAND} RESULT_VARIABLE failed
                  OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(out)
    message(STATUS "${name}:\n${out}")
  endif()
  if(failed OR (arg_FAIL_ON AND out MATCHES "${arg_FAIL_ON}"))
    message(FATAL_ERROR "${name} failed")
  endif()
endfunction()

# The installed programs run from their new place.
check("installed korvane-intermod --version"
      COMMAND "${PREFIX}/bin/korvane-intermod" --version)
check("installed intermod-study on an installed example"
      COMMAND "${PREFIX}/bin/intermod-study" --order 3
              "${PREFIX}/share/korvane-intermod/examples/port_ellery_harbour.int")

# The man pages name the examples where they were installed.
foreach(page korvane-intermod intermod-study)
  execute_process(COMMAND gzip -dc "${PREFIX}/share/man/man1/${page}.1.gz" OUTPUT_VARIABLE text)
  string(REPLACE "\\-" "-" text "${text}") # roff's minus sign
  string(FIND "${text}" "${PREFIX}/share/korvane-intermod/examples/" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "${page}(1) does not name ${PREFIX}/share/korvane-intermod/examples/")
  endif()
  find_program(MAN man)
  if(MAN) # as lintian checks them: any complaint of groff fails
    # Wide lines: the test prefix is a long path that no 80-column line can hold, while
    # the package's /usr one is short.
    execute_process(COMMAND ${CMAKE_COMMAND} -E env MANWIDTH=400
                            "${MAN}" --warnings -E UTF-8 -l -Tutf8 -Z
                            "${PREFIX}/share/man/man1/${page}.1.gz"
                    RESULT_VARIABLE failed OUTPUT_QUIET ERROR_VARIABLE complaints)
    if(failed OR complaints)
      message(FATAL_ERROR "man ${page}:\n${complaints}")
    endif()
  endif()
endforeach()

# Each PNG is as large as the folder it lies in says.
find_program(IDENTIFY identify)
if(IDENTIFY)
  foreach(size IN LISTS sizes)
    execute_process(COMMAND "${IDENTIFY}" -format "%wx%h"
                    "${PREFIX}/share/icons/hicolor/${size}x${size}/apps/${id}.png"
                    OUTPUT_VARIABLE got)
    if(NOT got STREQUAL "${size}x${size}")
      message(FATAL_ERROR "the ${size}x${size} icon is ${got}")
    endif()
  endforeach()
endif()

find_program(DESKTOP_FILE_VALIDATE desktop-file-validate)
if(DESKTOP_FILE_VALIDATE)
  check("desktop-file-validate" FAIL_ON "error|warning"
        COMMAND "${DESKTOP_FILE_VALIDATE}" "${PREFIX}/share/applications/${id}.desktop")
else()
  message(STATUS "desktop-file-validate is not installed: not run")
endif()

find_program(APPSTREAMCLI appstreamcli)
if(APPSTREAMCLI)
  check("appstreamcli validate"
        COMMAND "${APPSTREAMCLI}" validate --no-net "${PREFIX}/share/metainfo/${id}.metainfo.xml")
else()
  message(STATUS "appstreamcli is not installed: not run")
endif()

# A file manager reads the type's glob from the compiled database.
find_program(UPDATE_MIME_DATABASE update-mime-database)
if(UPDATE_MIME_DATABASE)
  check("update-mime-database" COMMAND "${UPDATE_MIME_DATABASE}" "${PREFIX}/share/mime")
  file(READ "${PREFIX}/share/mime/globs2" globs)
  if(NOT globs MATCHES ":application/x-korvane-intermod-study:\\*\\.int\n")
    message(FATAL_ERROR "*.int is not the study type in the compiled MIME database:\n${globs}")
  endif()
endif()
