-- Shared by the session scripts: the run's settings come from the environment, results go
-- to a file (luasession's own output is noise to the test).
local M = {}
M.dir = assert(os.getenv("VT4R_SESSION_DIR"))
M.name = assert(os.getenv("VT4R_SESSION_NAME"))
M.format = os.getenv("VT4R_PLUGIN_FORMAT") or "LV2"
local results = assert(io.open(assert(os.getenv("VT4R_RESULTS")), "a"))

function M.say(...)
    results:write(table.concat({...}, " "), "\n")
    results:flush()
end

-- The track's first plug-in and its Plugin object.
function M.plugin()
    local track = assert(Session:route_by_name("track"), "no track"):to_track()
    local proc = track:nth_plugin(0)
    assert(not proc:isnil(), "no plug-in on the track")
    return proc, proc:to_insert():plugin(0)
end

-- Ardour addresses controls by their index among the plug-in's input controls.
function M.control(plugin, label)
    local n = 0
    for j = 0, plugin:parameter_count() - 1 do
        if plugin:parameter_is_control(j) and plugin:parameter_is_input(j) then
            if plugin:parameter_label(j) == label then return n end
            n = n + 1
        end
    end
    error("no control " .. label)
end

function M.set(proc, plugin, label, value)
    assert(ARDOUR.LuaAPI.set_processor_param(proc, M.control(plugin, label), value))
end

function M.get(proc, plugin, label)
    local value = ARDOUR.LuaAPI.get_processor_param(proc, M.control(plugin, label), true)
    return value
end

-- Lets the engine run a few cycles, which is when activation and control changes land.
function M.settle()
    ARDOUR.LuaAPI.usleep(300000)
end

function M.report(proc, plugin)
    M.say("block", Session:get_block_size())
    M.say("active", proc:active() and 1 or 0)
    for _, label in ipairs({"Input", "Output", "Relaxed Mode"}) do
        M.say("param", (label:gsub(" ", "_")), tostring((M.get(proc, plugin, label))))
    end
end

-- Exports the session range from this very session, so the running plug-in instance is heard
-- (ardour7-export would load the session anew). The format is the export preset the test writes.
function M.export(folder)
    local range = Session:locations():session_range_location()
    local e = Session:simple_export()
    e:set_folder(folder)
    e:set_range(range:start():samples(), range:_end():samples())
    assert(e:set_preset(assert(os.getenv("VT4R_EXPORT_PRESET"))), "no such export preset")
    assert(e:check_outputs(), "nothing to export")
    assert(e:run_export(), "the export failed")
end

function M.save()
    Session:save_state("", false, false, false, false, false)
end

return M
