# The host unloads the module's library while Qt's application-wide caches (font families,
# settings keys and values) may still hold strings the module gave them. A QStringLiteral keeps
# its characters in the library's read-only data, so such a copy would point into unmapped
# memory. plugin/kstringliteral.h redefines QStringLiteral to build on the heap; it is forced
# into every source of `target` and of everything that links it, since one literal missed is
# enough for a crash after unloading.
function(vaultkeep_heap_string_literals target)
    target_compile_options(${target} PUBLIC -include ${PROJECT_SOURCE_DIR}/plugin/kstringliteral.h)
endfunction()
