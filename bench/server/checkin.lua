-- wrk script: POST /v1/activate with the bodies of a file, one JSON object a
-- line (machines that hold seats already: check-ins), each connection going
-- through them in turn from its own starting point. With VREL_RECORD set, the
-- machine of every answer 200 is appended to that file (one line each).
-- Usage: wrk -s checkin.lua URL -- BODIES_FILE
local bodies, next_body = {}, 1
local record

function init(args)
  for line in io.lines(args[1]) do bodies[#bodies + 1] = line end
  next_body = math.random(#bodies)
  local path = os.getenv("VREL_RECORD")
  if path then record = io.open(path, "a") end
end

function request()
  next_body = next_body % #bodies + 1
  return wrk.format("POST", "/v1/activate", {["Content-Type"] = "application/json"},
                    bodies[next_body])
end

function response(status, headers, body)
  if record and status == 200 then
    record:write(body:match('"machine":(%d+)'), "\n")
    record:flush()
  end
end
