"""The web view in a real browser (headless Chromium through chromedriver):
log in, open a class, an object and the audit trail, check what is shown
there as a person would read it, and keep a screenshot of each page.

    browser_test.py URL SCREENSHOTS

URL is a running `wvrepo serve` of the fixture of tests/t0031-web-browser.sh
(user admin, password pw). Exits 0 when every check holds; prints one line a
check.
"""
import os
import sys

from selenium import webdriver
from selenium.common.exceptions import NoAlertPresentException
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support import expected_conditions
from selenium.webdriver.support.ui import WebDriverWait

BOARD = "<script>alert(1)</script>"
URL, SHOTS = sys.argv[1].rstrip("/"), sys.argv[2]
os.makedirs(SHOTS, exist_ok=True)

options = webdriver.ChromeOptions()
options.binary_location = "/usr/bin/chromium"
for argument in ("--headless=new", "--no-sandbox", "--disable-dev-shm-usage", "--disable-gpu",
                 "--window-size=1100,760", "--no-first-run", "--disable-extensions",
                 "--user-data-dir=" + os.path.join(SHOTS, "profile")):
    options.add_argument(argument)
options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
browser = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
browser.set_page_load_timeout(20)
failures = 0


def check(what, holds):
    global failures
    print(("ok    " if holds else "FAIL  ") + what)
    if not holds:
        failures += 1


def no_alert():
    try:
        browser.switch_to.alert
        return False
    except NoAlertPresentException:
        return True


def texts(selector):
    return [e.text for e in browser.find_elements(By.CSS_SELECTOR, selector)]


def follow(by, what):
    # Clicks what leads to another page and waits until that page has
    # replaced this one: a click returns before a form's answer has come,
    # and a check made then would read the page it left.
    page = browser.find_element(By.TAG_NAME, "html")
    browser.find_element(by, what).click()
    WebDriverWait(browser, 20).until(expected_conditions.staleness_of(page))
    WebDriverWait(browser, 20).until(
        lambda b: b.execute_script("return document.readyState") == "complete")


def shot(name):
    browser.save_screenshot(os.path.join(SHOTS, name + ".png"))


def policy_complaints():
    # What the browser reported: a blocked script, style or picture would
    # show here; a missing favicon is only the browser asking.
    return [e["message"] for e in browser.get_log("browser") if "favicon" not in e["message"]]


try:
    browser.get(URL + "/classes/Orvex_RemoteVistrel")
    check("without a session the browser lands on the login page",
          browser.current_url.startswith(URL + "/login") and browser.title.startswith("Log in"))
    browser.find_element(By.NAME, "user").send_keys("admin")
    browser.find_element(By.NAME, "password").send_keys("wrong")
    follow(By.CSS_SELECTOR, "form.login button")
    check("a wrong password is told", "Wrong user name or password." in texts("p.error"))
    browser.find_element(By.NAME, "password").send_keys("pw")
    follow(By.CSS_SELECTOR, "form.login button")
    check("after logging in the page asked for first opens",
          browser.current_url == URL + "/classes/Orvex_RemoteVistrel")
    check("the session cookie is not readable by a page's script",
          browser.execute_script("return document.cookie") == "")
    browser.get_log("browser")  # the refused login's 401 is as it should be

    browser.get(URL + "/")
    check("the overview shows the Orvex, Pellion and other classes apart",
          texts("h2")[:3] == ["Orvex classes", "Pellion classes", "Other classes"])
    rows = {r.find_element(By.CSS_SELECTOR, "td a").text: r.find_element(By.CSS_SELECTOR, "td.n").text
            for r in browser.find_elements(By.CSS_SELECTOR, "table.classes tr") if r.find_elements(By.CSS_SELECTOR, "td a")}
    check("the overview counts the objects of a class", rows.get("Orvex_Linux") == "40")
    check("the overview lists the latest changes", len(browser.find_elements(By.CSS_SELECTOR, "table.audit tr")) > 1)
    shot("overview")

    follow(By.LINK_TEXT, "Orvex_RemoteVistrel")
    check("a class page opens from the overview", browser.find_element(By.TAG_NAME, "h1").text == "Class Orvex_RemoteVistrel")
    names = texts("table.objects td:first-child")
    check("an object named like a script is shown as its text", BOARD in names)
    check("no script ran (no alert)", no_alert())
    check("the page holds no script element", browser.find_elements(By.TAG_NAME, "script") == [])
    shot("class")

    follow(By.LINK_TEXT, BOARD)
    check("the object page is titled with the object's name",
          browser.find_element(By.TAG_NAME, "h1").text == "Object " + BOARD)
    links = [r.text for r in browser.find_elements(By.CSS_SELECTOR, "table.links tr")][1:]
    check("the object page shows the server that carries the board", links == ["is carried by srv-01 Unispace"])
    history = [r.text for r in browser.find_elements(By.CSS_SELECTOR, "table.audit tr")][1:]
    check("the object page shows its class history", len(history) == 1 and "Orvex_RemoteVistrel" in history[0])
    shot("object")
    follow(By.LINK_TEXT, "srv-01")
    check("the link leads to the other object, which links back",
          browser.find_element(By.TAG_NAME, "h1").text == "Object srv-01"
          and [r.text for r in browser.find_elements(By.CSS_SELECTOR, "table.links tr")][1:] == ["carries " + BOARD + " Orvex_RemoteVistrel"])

    follow(By.LINK_TEXT, "Audit trail")
    all_rows = [r.text for r in browser.find_elements(By.CSS_SELECTOR, "table.audit tr")][1:]
    check("the audit trail lists every move", len(all_rows) == 12)
    browser.find_element(By.NAME, "user").send_keys("ops")
    follow(By.CSS_SELECTOR, "form.filter button")
    ops_rows = [r.text for r in browser.find_elements(By.CSS_SELECTOR, "table.audit tr")][1:]
    check("the audit trail filters by user", len(ops_rows) == 4 and all(" ops reclass " in r for r in ops_rows))
    check("the filter stays in its field", browser.find_element(By.NAME, "user").get_attribute("value") == "ops")
    shot("audit")

    follow(By.LINK_TEXT, "Moves per day")
    bars = browser.find_elements(By.CSS_SELECTOR, "svg rect title")
    check("the chart draws the day's moves by class", len(bars) == 3)
    shot("chart")

    follow(By.LINK_TEXT, "Lights-out links")
    check("the links page shows each server with its board",
          len(browser.find_elements(By.CSS_SELECTOR, "table.links tr")) == 4)
    shot("links")

    complaints = policy_complaints()
    check("the browser reported nothing blocked or broken" + ("" if not complaints else ": " + "; ".join(complaints)),
          not complaints)

    follow(By.CSS_SELECTOR, "form.logout button")
    browser.get(URL + "/")
    check("after logging out the pages lead to the login page again", browser.current_url == URL + "/login")
finally:
    browser.quit()

sys.exit(1 if failures else 0)
