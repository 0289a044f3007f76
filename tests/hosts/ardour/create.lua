-- A session with one stereo track and VT4R on it at Input VT4R_INPUT dB, Relaxed Mode on.
package.path = os.getenv("VT4R_LUA_DIR") .. "/?.lua;" .. package.path
local s = require("common")
local ok, err = pcall(function()
    create_session(s.dir, s.name, 48000)
    -- Every plug-in Ardour found, of any format.
    local found = {}
    for info in ARDOUR.LuaAPI.list_plugins():iter() do
        found[#found + 1] = (info.name:gsub("[ |]", "_"))
    end
    s.say("plugins", table.concat(found, "|"))
    local track = Session:new_audio_track(2, 2, nil, 1, "track", ARDOUR.PresentationInfo.max_order,
                                          ARDOUR.TrackMode.Normal, true):front()
    local proc = ARDOUR.LuaAPI.new_plugin(Session, "VT4R", ARDOUR.PluginType[s.format], "")
    assert(not proc:isnil(), "Ardour found no VT4R (" .. s.format .. ")")
    assert(track:add_processor_by_index(proc, 0, nil, true))
    local plugin = proc:to_insert():plugin(0)
    s.set(proc, plugin, "Input", tonumber(assert(os.getenv("VT4R_INPUT"))))
    s.set(proc, plugin, "Relaxed Mode", 1)
    s.settle()
    s.report(proc, plugin)
    s.save()
    s.say("done", 1)
end)
if not ok then s.say("error", err) end
close_session()
