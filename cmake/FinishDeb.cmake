# Run by CPack after it built the .deb: gives the package what Debian's own
# tools would. CPack counts the launchers' symbolic links at the size of the
# programs they point to, so Installed-Size is computed again here the way
# dpkg-gencontrol does; and every file's time becomes the last commit's
# (SOURCE_DATE_EPOCH), so two builds of one commit give the same bytes.
foreach(deb IN LISTS CPACK_PACKAGE_FILES)
    set(tree "${deb}.tree")
    file(REMOVE_RECURSE "${tree}")
    execute_process(COMMAND dpkg-deb -R "${deb}" "${tree}" RESULT_VARIABLE failed)
    if(failed)
        message(FATAL_ERROR "dpkg-deb could not unpack ${deb}")
    endif()
    # One KiB block per started KiB of every file, one for every folder and link.
    set(kib 0)
    file(GLOB_RECURSE entries LIST_DIRECTORIES TRUE "${tree}/*")
    foreach(entry IN LISTS entries)
        if(entry MATCHES "/DEBIAN(/|$)")
            continue()
        endif()
        if(IS_SYMLINK "${entry}" OR IS_DIRECTORY "${entry}")
            math(EXPR kib "${kib} + 1")
        else()
            file(SIZE "${entry}" bytes)
            math(EXPR kib "${kib} + (${bytes} + 1023) / 1024")
        endif()
    endforeach()
    file(READ "${tree}/DEBIAN/control" control)
    string(REGEX REPLACE "Installed-Size: [0-9]+" "Installed-Size: ${kib}" control "${control}")
    file(WRITE "${tree}/DEBIAN/control" "${control}")
    set(ENV{SOURCE_DATE_EPOCH} "${CPACK_ZOVA_SOURCE_DATE_EPOCH}")
    execute_process(COMMAND find "${tree}" -exec touch -h -d "@${CPACK_ZOVA_SOURCE_DATE_EPOCH}" {} +)
    execute_process(COMMAND dpkg-deb --root-owner-group -Zxz --build "${tree}" "${deb}"
                    OUTPUT_QUIET RESULT_VARIABLE failed)
    file(REMOVE_RECURSE "${tree}")
    if(failed)
        message(FATAL_ERROR "dpkg-deb could not pack ${deb} again")
    endif()
endforeach()
