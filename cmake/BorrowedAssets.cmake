# A sanitizer tree checks the program's code, not its pictures and songs: it
# takes the skin, the demo library, the guide and the MIDI maps of a built
# Release tree through links, and the tests use that tree's tools.
add_custom_target(program_assets ALL
  COMMAND ${CMAKE_COMMAND} -D FROM=${BEATLOOM_ASSETS_FROM} -D TO=${BEATLOOM_PROGRAM_DIR}
          -D NAMES=Beatloom.xrs,Helps.txt,Library,UserGuide.html,guide,midi -P ${CMAKE_CURRENT_LIST_DIR}/LinkAssets.cmake
  COMMENT "Linking the skin, library and guide of ${BEATLOOM_ASSETS_FROM}"
  VERBATIM)
add_dependencies(beatloom program_assets)
