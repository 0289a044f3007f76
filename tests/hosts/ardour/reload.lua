-- Reports the saved session's plug-in: its parameters as Ardour restored them.
package.path = os.getenv("VT4R_LUA_DIR") .. "/?.lua;" .. package.path
local s = require("common")
local ok, err = pcall(function()
    load_session(s.dir, s.name)
    s.settle()
    s.report(s.plugin())
    s.say("done", 1)
end)
if not ok then s.say("error", err) end
close_session()
