# Where `cmake --install` puts the product, and the rules that put it there.
#
#   <bindir>/vaultkeep, atrium, vaultkeep-msg
#   <libdir>/vaultkeep/      the plug-in and the libraries it binds by file name (opened by full
#                            path and never linked against, so no program carries a RUNPATH)
#   <datadir>/vaultkeep/     the plug-in's and the host's skins, the interface's translations
#   <datadir>/applications, metainfo, icons/hicolor   the desktop's files (desktop/)
#   <mandir>/man1            the commands' manual pages
#
# The programs find the private folders from their own folder (platform/kinstalllayout.h), so an
# installed tree can be moved as a whole, and the build tree keeps everything in bin/.
include(GNUInstallDirs)

# The desktop's name for the application: desktop entry, metainfo, icons, D-Bus names.
set(VAULTKEEP_APP_ID io.github.vaultkeep.vaultkeep)

set(VAULTKEEP_INSTALL_LIBDIR ${CMAKE_INSTALL_LIBDIR}/vaultkeep)
set(VAULTKEEP_INSTALL_DATADIR ${CMAKE_INSTALL_DATADIR}/vaultkeep)
foreach(folder LIBDIR DATADIR)
    cmake_path(ABSOLUTE_PATH VAULTKEEP_INSTALL_${folder} BASE_DIRECTORY ${CMAKE_INSTALL_PREFIX}
        OUTPUT_VARIABLE _vk_full)
    file(RELATIVE_PATH VAULTKEEP_BIN_TO_${folder} ${CMAKE_INSTALL_FULL_BINDIR} ${_vk_full})
endforeach()

# Called once every target exists. Developers' tools, benchmarks and tests are not installed.
function(vaultkeep_install)
    install(TARGETS vaultkeep atrium vaultkeep-msg RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    install(TARGETS KVaultkeep pathmark Ledgerbase LIBRARY DESTINATION ${VAULTKEEP_INSTALL_LIBDIR})
    install(DIRECTORY $<TARGET_FILE_DIR:KVaultkeep>/VaultkeepSkin $<TARGET_FILE_DIR:atrium>/AtriumSkin
        $<TARGET_FILE_DIR:KVaultkeep>/translations DESTINATION ${VAULTKEEP_INSTALL_DATADIR})
    install(FILES
        ${PROJECT_SOURCE_DIR}/docs/man/vaultkeep.1
        ${PROJECT_SOURCE_DIR}/docs/man/atrium.1
        ${PROJECT_SOURCE_DIR}/docs/man/vaultkeep-msg.1
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()
