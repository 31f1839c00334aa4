-- wrk script: every request is one ConversionRate call, USD to JPY, with the same body each time.
wrk.method = "POST"
wrk.headers["Content-Type"] = "text/xml"
wrk.headers["SOAPAction"] = '"http://www.webserviceX.NET/ConversionRate"'
wrk.body = '<?xml version="1.0"?>'
    .. '<SOAP-ENV:Envelope xmlns:SOAP-ENV="http://schemas.xmlsoap.org/soap/envelope/"'
    .. ' xmlns:xsd="http://www.w3.org/2001/XMLSchema" xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance">'
    .. '<SOAP-ENV:Body><ConversionRate xmlns="http://www.webserviceX.NET/">'
    .. '<FromCurrency>USD</FromCurrency><ToCurrency>JPY</ToCurrency>'
    .. '</ConversionRate></SOAP-ENV:Body></SOAP-ENV:Envelope>'

-- DISTINCT=1: every body differs from every other by a comment, so that the service reads each afresh
-- rather than recognising a body it has read before.
if os.getenv("DISTINCT") == "1" then
    local count = 0
    local head, tail = wrk.body:match("^(.-)(<SOAP%-ENV:Body>.*)$")
    request = function()
        count = count + 1
        return wrk.format(nil, nil, nil, head .. "<!--" .. count .. "-->" .. tail)
    end
end

function done(summary, latency, requests)
    local seconds = summary.duration / 1e6
    local failed = summary.errors.status + summary.errors.connect + summary.errors.read
        + summary.errors.write + summary.errors.timeout
    io.write(string.format("ConversionRate: %.0f requests/s, p50 %.3f ms, p99 %.3f ms, %d requests, %d failed\n",
        summary.requests / seconds, latency:percentile(50) / 1000, latency:percentile(99) / 1000,
        summary.requests, failed))
end
