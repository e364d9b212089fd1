# SPDX-License-Identifier: GPL-2.0-or-later
# SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers
"""Scenarios of the web console's page, each in a browser session of its own,
checked in the state root's files afterwards."""
import sys
import time

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By


def browser():
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for argument in ("--headless", "--no-sandbox", "--disable-gpu", "--window-size=1280,900"):
        options.add_argument(argument)
    return webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)


def wait_for(condition, timeout=30):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = condition()
        if value:
            return value
        time.sleep(0.1)
    raise AssertionError("timed out")


def page(driver, url):
    """The page as the console's shell shows it, in its frame."""
    driver.get(url + "/lumen-mic")
    frame = wait_for(lambda: driver.find_elements(By.CSS_SELECTOR, "iframe[name='cockpit1:localhost/lumen-mic']"))
    driver.switch_to.frame(frame[0])


def read_the_demo(driver, url, root):
    page(driver, url)
    text = wait_for(lambda: driver.find_elements(By.ID, "mic-now") and driver.find_element(By.ID, "mic-now").text)
    assert "enabled" in text, text
    assert driver.find_element(By.ID, "max-level").text.startswith("63 /")
    assert driver.find_element(By.ID, "max-level-after-reboot").get_attribute("value") == "63"
    unprotected = driver.find_element(By.ID, "unprotected").text
    assert "srv/demo/data" in unprotected, unprotected


def click(driver, selector):
    wait_for(lambda: driver.find_elements(By.CSS_SELECTOR, selector) and driver.find_element(By.CSS_SELECTOR, selector).is_enabled())
    driver.find_element(By.CSS_SELECTOR, selector).click()


def tab(driver, title):
    wait_for(lambda: [button for button in driver.find_elements(By.CSS_SELECTOR, "button[role='tab']") if button.text == title])[0].click()


def state_line(root, name, key):
    with open(f"{root}/var/lib/kestrel/{name}.state", encoding="utf-8") as state:
        return [line.strip() for line in state if line.startswith(key + " ")]


def change_a_users_level(driver, url, root):
    """root, at 63 on the demo system, set to 31 on the Users tab."""
    user = "root"
    page(driver, url)
    tab(driver, "Users")
    field = wait_for(lambda: driver.find_elements(By.CSS_SELECTOR, f"input[aria-label='{user}']"))[0]
    field.clear()
    field.send_keys("31")
    click(driver, "#apply")
    difference = wait_for(lambda: driver.find_elements(By.ID, "difference") and driver.find_element(By.ID, "difference").text)
    assert user in difference and "63" in difference and "31" in difference, difference
    click(driver, "#confirm-apply")
    wait_for(lambda: driver.find_elements(By.ID, "save-result"), timeout=60)
    assert state_line(root, "users", user) == [f"{user} = 31"], state_line(root, "users", user)
    return user


def restore_from_history(driver, url, root):
    """A change made on the page, then undone from the history."""
    user = change_a_users_level(driver, url, root)
    click(driver, "#close")
    tab(driver, "History")
    wait_for(lambda: [button for button in driver.find_elements(By.CSS_SELECTOR, "#history button") if button.is_displayed()])[0].click()
    difference = wait_for(lambda: driver.find_elements(By.ID, "difference") and driver.find_element(By.ID, "difference").text)
    assert user in difference, difference
    click(driver, "#confirm-apply")
    wait_for(lambda: driver.find_elements(By.ID, "save-result"), timeout=60)
    assert state_line(root, "users", user) == [f"{user} = 63"], state_line(root, "users", user)


def rules_table(driver, url, root):
    """The demo's rules in their table, filtered."""
    page(driver, url)
    tab(driver, "Rules")
    count = wait_for(lambda: driver.find_elements(By.CSS_SELECTOR, "#rules .mic-count") and driver.find_element(By.CSS_SELECTOR, "#rules .mic-count").text)
    assert count == "9 of 9 rows", count
    driver.find_element(By.CSS_SELECTOR, "#rules input").send_keys("lib")
    wait_for(lambda: driver.find_element(By.CSS_SELECTOR, "#rules .mic-count").text == "2 of 9 rows")
    rows = [row.text for row in driver.find_elements(By.CSS_SELECTOR, "#rules .mic-row")]
    assert len(rows) == 2 and all("/lib" in row for row in rows), rows
    driver.find_element(By.CSS_SELECTOR, "#rules input").clear()


def german(driver, url, root):
    """The console's language decides: the page and micctl's texts in German."""
    driver.get(url)
    driver.add_cookie({"name": "CockpitLang", "value": "de"})
    page(driver, url)
    wait_for(lambda: [button for button in driver.find_elements(By.CSS_SELECTOR, "button[role='tab']") if button.text == "Allgemein"])
    tab(driver, "Verlauf")
    tab(driver, "Allgemein")
    text = wait_for(lambda: driver.find_elements(By.ID, "mic-now") and driver.find_element(By.ID, "mic-now").text)
    assert "aktiviert" in text, text


def screenshot(driver, url, root, file):
    """The page as it first shows, in the console's shell."""
    page(driver, url)
    wait_for(lambda: driver.find_elements(By.ID, "mic-now"))
    time.sleep(1)
    driver.switch_to.default_content()
    driver.save_screenshot(file)


def main():
    name, url, root = sys.argv[1:4]
    if name == "screenshot":
        driver = browser()
        try:
            screenshot(driver, url, root, sys.argv[4])
        finally:
            driver.quit()
        return
    driver = browser()
    try:
        globals()[name](driver, url, root)
    finally:
        driver.switch_to.default_content()
        driver.save_screenshot(f"/tmp/webconsole-{name}.png")
        driver.quit()


if __name__ == "__main__":
    main()
