# Read by cpack before it builds a package. Without dpkg-shlibdeps CPack only
# warns and makes a Debian package that depends on nothing at all; stop
# instead.
if(CPACK_GENERATOR STREQUAL "DEB")
    find_program(TAVLINO_DPKG_SHLIBDEPS dpkg-shlibdeps)
    if(NOT TAVLINO_DPKG_SHLIBDEPS)
        message(FATAL_ERROR "dpkg-shlibdeps is missing, so the package's dependencies cannot be "
                            "worked out: install dpkg-dev (tools/install-deps.sh --qt6 does) and "
                            "run cpack again")
    endif()
endif()
