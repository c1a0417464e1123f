# corvane_add_plugin_module(<target> [DESTINATION <dir>] <source>...)
#
# A brush module: a shared library that hosts load at run time and that derives its brush from
# Velder. It is built with the options every module needs (C++17; template statics kept out of
# the GNU "unique" symbols, which would pin the module in memory) and installed into
# DESTINATION, by default the plug-in folder of the Corvane installation found
# (Corvane_PLUGIN_DIR), where it finds Velder beside it.
function(corvane_add_plugin_module target)
  cmake_parse_arguments(PARSE_ARGV 1 module "" "DESTINATION" "")
  if(NOT module_DESTINATION)
    set(module_DESTINATION "${Corvane_PLUGIN_DIR}")
  endif()
  add_library(${target} MODULE ${module_UNPARSED_ARGUMENTS})
  target_link_libraries(${target} PRIVATE Tarnix::Velder Tarnix::Framework)
  target_compile_features(${target} PRIVATE cxx_std_17)
  target_compile_options(${target} PRIVATE -fno-gnu-unique)
  get_target_property(velder Tarnix::Velder LOCATION)
  get_filename_component(velder_dir "${velder}" DIRECTORY)
  set_target_properties(${target} PROPERTIES PREFIX "lib" INSTALL_RPATH "$ORIGIN;${velder_dir}")
  install(TARGETS ${target} LIBRARY DESTINATION "${module_DESTINATION}")
endfunction()
