-- The os library on a machine without a clock, an environment or a shell.

local t = os.time()
assert(math.type(t) == "integer" and os.time() >= t)
assert(os.time({year = 2000, month = 1, day = 1, hour = 0}) == 946684800)
assert(os.time({year = 2000, month = 13, day = 1, hour = 0}) == os.time({year = 2001, month = 1, day = 1, hour = 0}))
assert(os.time({year = 2024, month = 3, day = 0, hour = 12}) == os.time({year = 2024, month = 2, day = 29, hour = 12}))
assert(not pcall(os.time, {year = 2000}))        -- the day is required
local d = os.date("!*t", 946684800 + 86399)
assert(d.year == 2000 and d.month == 1 and d.day == 1 and d.hour == 23 and d.min == 59 and d.sec == 59)
assert(d.wday == 7 and d.yday == 1 and d.isdst == false)
assert(os.date("!%Y-%m-%d %H:%M:%S", 0) == "1970-01-01 00:00:00")
assert(os.date("!%A %a %B %b %p %j %y %C %e %D %F %R %T %I %u %w %%", 1709251200) ==
       "Friday Fri March Mar AM 061 24 20  1 03/01/24 2024-03-01 00:00 00:00:00 12 5 5 %")
assert(os.date("!%G-W%V-%u", 1704067200) == "2024-W01-1" and os.date("!%G %V", 1609459200) == "2020 53")
assert(os.date("!%U %W", 1709251200) == "08 09")
assert(os.date("!%c", 0) == "Thu Jan  1 00:00:00 1970" and os.date("!%x %X", 0) == "01/01/70 00:00:00")
assert(os.date("!%Ey %OH", 0) == "70 00")
-- %F is %Y-%m-%d in every year (0001-01-01 is -62135596800).
for _, t in ipairs({-62135596800, -62135596800 + 999 * 365 * 86400, 0, 253402300800, -62198755200, -62198755200 - 86400 * 400}) do
  assert(os.date("!%F", t) == os.date("!%Y-%m-%d", t), os.date("!%F", t))
end
assert(os.date("!%F", -62135596800) == "1-01-01")
assert(not pcall(os.date, "%Q") and not pcall(os.date, "%E"))
assert(type(os.date()) == "string" and os.date("*t").year >= 1970)
local round = os.date("!*t", 1234567890)
assert(os.time(round) == 1234567890)
assert(os.difftime(10, 4) == 6.0 and math.type(os.difftime(1, 1)) == "float")
local c1 = os.clock()
assert(type(c1) == "number" and os.clock() >= c1)
assert(os.getenv("HOME") == nil and os.getenv("PATH") == nil)
local n1, n2 = os.tmpname(), os.tmpname()
assert(type(n1) == "string" and n1 ~= n2)
assert(os.execute() == false)                      -- no command processor
assert(not pcall(os.exit, "x"))
assert(os.setlocale() == "C" and os.setlocale("C") == "C" and os.setlocale("", "numeric") == "C")
assert(os.setlocale("pt_BR") == nil and os.setlocale("xx_XX.UTF-8", "all") == nil)
